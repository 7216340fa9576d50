#!/usr/bin/env bash
# Starts a CUPS scheduler with a cups-pdf queue "KelPDF" for the printing
# tests, and prints the two variables the tests read. Run as root. What it
# changes on the machine: cups-pdf writes its PDFs into
# /var/spool/kel-cups-pdf (its "Out" line), the queue KelPDF is added, and
# cupsd is started when it is not running. The machine's default printer
# stays as it was: the tests name their queue.
set -euo pipefail

out=/var/spool/kel-cups-pdf
mkdir -p "$out"
chmod 1777 "$out"
if [ -f /etc/cups/cups-pdf.conf ]; then
  sed -i "s|^#\?Out .*|Out $out|" /etc/cups/cups-pdf.conf
fi

if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  /usr/sbin/cupsd
  for _ in $(seq 1 50); do
    lpstat -r 2>/dev/null | grep -q "is running" && break
    sleep 0.2
  done
fi
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
lpadmin -p KelPDF -E -v cups-pdf:/ -P "$ppd" 2>/dev/null
echo "KEL_CUPS_PRINTER=KelPDF"
echo "KEL_CUPS_PDF_DIR=$out"
