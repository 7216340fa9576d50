// The program's command line: a document for the viewer with option letters,
// or the print server console's switches.
//
// The command line is one text (the arguments joined by blanks). A line that
// begins with "-" starts the console. Otherwise the document is the whole
// line, less a last field of option letters ("/PX"); on Linux a path itself
// begins with "/", so only a last field of letters alone that names no
// existing file counts as options.
#pragma once

#include <string>
#include <vector>

namespace kel {

// The viewer's option letters: each but E hides toolbar buttons.
struct ViewerOptions
{
    bool hideOpen = false;   // O: "abrir"
    bool hideSave = false;   // S: "salvar"
    bool hideExport = false; // X: "exportar"
    bool hidePrint = false;  // P: "imprime", "printsetup"
    bool hideMail = false;   // M: "sendbymail"
    bool hidePaging = false; // D: the five page buttons
    bool hideZoom = false;   // Z: zoom buttons and the zoom box
    bool hideFind = false;   // F: "findtext", "findagain"
    bool designMode = false; // E: "config", "edit", "columns", coordinates

    bool operator==(const ViewerOptions &) const = default;
};

struct ConsoleSwitches
{
    bool install = false;  // -I
    bool server = false;   // -S
    bool visible = false;  // -V
    bool design = false;   // -E
    bool headless = false; // -H: no window, every message on stderr
    // -P, empty when not given. A trailing "/" is dropped ("/var/spool/kel/"
    // is the folder "/var/spool/kel"; "/" alone stays the root).
    std::string queuePath;
    // The folder as given ended in "/" or "\".
    bool queuePathEndsInSlash = false;
    // The folder as given ended in "\": the console refuses it (108).
    bool queuePathEndsInBackslash = false;
    std::string connectionFile; // -F, ".cnx" added when it has no "."
};

struct CommandLine
{
    enum class Mode { Viewer, Console };
    Mode mode = Mode::Viewer;
    std::string document; // empty when none was given
    ViewerOptions options;
    ConsoleSwitches console;
};

// Joins program arguments into the one command line text.
std::string joinArguments(const std::vector<std::string> &args);

CommandLine parseCommandLine(const std::string &line);

// ".kel" appended when the name has no "." at all.
std::string withDefaultKelExtension(const std::string &document);

} // namespace kel
