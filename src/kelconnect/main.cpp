// kelconnect: writes a connection file (".cnx") for the print server's FTP
// fetching.
//
//   kelconnect --host H [--user U] [--password P | --password - |
//              --password-file FILE] [--folder F] -o NAME.cnx
//   kelconnect                       (no arguments: the window)
//
// A password on the command line shows in the process list; "--password -"
// reads it from the first line of standard input and --password-file from
// the first line of a file, so it never does.
//
// Exit codes: 0 written (its path on stdout), 2 bad arguments or a file that
// cannot be written (the reason on stderr).
#include "transfer/connectionfile.h"
#include "transfer/widgets/connectdialog.h"

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr const char *kUsage =
    "usage: kelconnect --host HOST [--user USER] [--password PASSWORD | --password - | "
    "--password-file FILE] [--folder FOLDER] -o NAME.cnx\n"
    "       kelconnect            (without arguments: the window)\n"
    "Writes a connection file; \".cnx\" is appended to a name without \".\".\n"
    "\"--password -\" reads the password from standard input, --password-file from a file\n"
    "(its first line), so that it does not show in the process list.\n";

int fail(const std::string &text)
{
    std::fprintf(stderr, "kelconnect: %s\n", text.c_str());
    return 2;
}

// The first line of a stream, without its line end; false when nothing
// could be read.
bool firstLine(std::FILE *in, std::string &line)
{
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        any = true;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any || c == '\n';
}

int fromArguments(int argc, char **argv)
{
    static const std::map<std::string, std::string> names = {
        {"--host", "host"},         {"--user", "user"},
        {"--password", "password"}, {"--password-file", "password-file"},
        {"--folder", "folder"},     {"-o", "output"},
        {"--output", "output"}};
    std::map<std::string, std::string> values;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const auto known = names.find(arg);
        if (known == names.end())
            return fail("unknown argument \"" + arg + "\"\n" + kUsage);
        if (i + 1 >= argc)
            return fail("option " + arg + " needs a value");
        if (values.count(known->second))
            return fail("option " + arg + " given twice");
        values[known->second] = argv[++i];
    }
    if (values.count("password") && values.count("password-file"))
        return fail("give --password or --password-file, not both");
    if (values.count("password-file")) {
        const std::string &path = values["password-file"];
        std::FILE *in = std::fopen(path.c_str(), "rb");
        if (!in)
            return fail("cannot read " + path + ": " + std::strerror(errno));
        const bool read = firstLine(in, values["password"]);
        std::fclose(in);
        if (!read)
            return fail("no password in " + path);
    } else if (values.count("password") && values["password"] == "-") {
        if (!firstLine(stdin, values["password"]))
            return fail("no password on standard input");
    }
    if (values["host"].empty())
        return fail("no FTP server: give --host");
    if (values["output"].empty())
        return fail("no file to write: give -o NAME.cnx");
    const kel::Connection connection{values["host"], values["user"], values["password"],
                                     values["folder"]};
    const std::string path = kel::connectionFileName(values["output"]);
    if (const kel::Status written = kel::writeConnectionFile(path, connection); !written)
        return fail(written.refusal().detail);
    std::printf("%s\n", path.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        return fromArguments(argc, argv);
    QApplication app(argc, argv);
    kel::ConnectDialog dialog;
    dialog.show();
    return app.exec();
}
