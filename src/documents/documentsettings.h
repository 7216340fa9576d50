// The settings of the open report, read from its settings part.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kel {

// One row of the paper table: name, length and width in twips (portrait).
struct PaperSize
{
    const char *name;
    int length;
    int width;
};
// The paper names a report may give in PAPERSIZE; nullptr when unknown.
const PaperSize *findPaperSize(std::string_view upperName);

inline constexpr int kA4Length = 16840;
inline constexpr int kA4Width = 11907;
inline constexpr int kMaxNamedPositions = 100;
inline constexpr int kMaxPrologueLines = 199;

struct DocumentSettings
{
    char openDelimiter = '{';
    char closeDelimiter = '}';
    double leftMargin = 0; // twips
    double topMargin = 0;  // twips
    std::string title;
    std::string orientation = "1";
    std::string saveAllowed = "Y";
    std::string sendAllowed = "Y";
    std::string printAllowed = "Y";
    std::string exportAllowed = "Y";
    std::string common;
    std::string barWidth = "1";
    double spacing = 200;        // twips
    double defaultSpacing = 200; // twips
    std::string linkTips = "Y";
    double pageLength = kA4Length; // twips, after the page size rules
    double pageWidth = kA4Width;   // twips
    std::string maxY = "16340";    // text; read as a number when compared
    // (name with its "$", upper-cased; value)
    std::vector<std::pair<std::string, std::string>> namedPositions;
    std::vector<std::string> prologueLines; // untrimmed, "[DATA]" included
    std::string workingPath;
    std::string originalPath;
    std::string givenPath;
    bool openedWithOpenCommand = false;

    bool landscape() const;
};

} // namespace kel
