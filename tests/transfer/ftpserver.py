#!/usr/bin/env python3
"""A private FTP server on 127.0.0.1 for the transfer tests.

  ftpserver.py --root DIR [--refuse NAME]...

Prints "port P" once it listens and serves until its standard input closes
(the test that started it ends). Users: "writer" (password "pw") may list,
read, write and delete; "reader" (password "pw") may only list and read.
A download of a name given with --refuse is answered 550.
"""
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--refuse", action="append", default=[])
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user("writer", "pw", args.root, perm="elradfmw")
    authorizer.add_user("reader", "pw", args.root, perm="elr")
    refused = set(args.refuse)

    class Handler(FTPHandler):
        def ftp_RETR(self, file):
            if os.path.basename(file) in refused:
                self.respond("550 Refused by the test server.")
                return
            return super().ftp_RETR(file)

    Handler.authorizer = authorizer
    Handler.passive_ports = None
    # A refused login is answered at once rather than after three seconds.
    Handler.auth_failed_timeout = 0.01
    server = FTPServer(("127.0.0.1", 0), Handler)
    print("port", server.address[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        server.close_all()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
