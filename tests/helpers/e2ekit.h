// e2ekit.h - end-to-end test kit: runs the built programs (cesetup,
// cedevice) as child processes, reads their JSON Lines transcripts, and
// builds storage cards (scripts, package files, setup bitmaps) on the host.
#ifndef CE_TESTS_E2EKIT_H
#define CE_TESTS_E2EKIT_H

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace e2e {

struct ProcessResult {
    int exitCode = -1; // the child's exit code; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program (argv[0] is its path) and waits for it; stdout and stderr
// are captured through files in a temporary folder.
ProcessResult RunProgram(const std::vector<std::string> &argv);

// Parses a JSON Lines file. Every line must be one JSON object; a line that
// is not is reported through *error (and the result holds the lines before).
std::vector<nlohmann::json> ReadJsonLines(const std::string &path, std::string *error);

// One cesetup run: the options, then what came back.
struct SetupRun {
    int exitCode = -1;
    std::string err;
    std::vector<nlohmann::json> events;
    std::string transcriptError; // non-empty when the transcript was not valid JSON Lines

    std::vector<int> PageIds() const;           // every page event's id, in order
    std::vector<int> MessageIds() const;        // every message event's id (-1 when absent)
    const nlohmann::json *Message(int id, int nth = 1) const; // the nth message event of that id
    std::vector<nlohmann::json> Launches() const;
    // A control of the first page event of that id (null when absent).
    const nlohmann::json *Control(int page, int control) const;
};

struct SetupOptions {
    std::string device;               // --device
    std::string card;                 // --card (empty: none)
    std::string run;                  // --run (empty: none)
    std::vector<std::string> answers; // one --answer each
    std::vector<std::string> extra;   // further options as given
};

// Runs cesetup --ui none with a transcript in the device's parent folder.
SetupRun RunSetup(const SetupOptions &options);

// cedevice reg export DEVICE [KEY]: the REGEDIT4 text (empty on failure).
std::string RegExport(const std::string &device, const std::string &key = "");

// Every file and folder under a host folder, as relative path -> content
// ("<dir>" for folders), for before/after comparisons of the store.
std::map<std::string, std::string> Listing(const std::string &dir);

// Builders of card contents.
std::string Bmp24(int width, int height, unsigned rgb);       // a solid 24-bit BMP, rgb = 0xRRGGBB
std::string ProgramBytes(const std::string &name, size_t size);

// A script: six header lines from the values, then the body lines.
struct Header {
    std::string product;           // quoted when it holds blanks
    std::string presenceKey;       // under HKEY_LOCAL_MACHINE
    std::string folder;            // default folder under \Program Files
    std::string bitmap = "Setup.bmp";
    bool selectLocation = true;
    std::string note = "Done.";
};
std::string Script(const Header &h, const std::vector<std::string> &body);

} // namespace e2e

#endif
