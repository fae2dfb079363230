// scriptkit.h - writing installation scripts and packages into a test
// device or card, seeing and answering message boxes, and reading back
// what a script did (files, registry values, shared counts).
#ifndef CE_TESTS_SCRIPTKIT_H
#define CE_TESTS_SCRIPTKIT_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "helpers/testdevice.h"

namespace cetest {

// The six header lines of a script, each ended by CR LF.
struct ScriptHeader {
    std::string product = "'Demo Notes 1.0'";
    std::string root = "HKEY_LOCAL_MACHINE";
    std::string key = "Software\\Notes";
    std::string folder = "Notes";
    std::string bitmap = "Setup.bmp=Notes.bmp";
    std::string location = "SelectAppLocation=Yes";
    std::string note = "'Tap the Notes icon to start.'";

    std::string Text() const;
    // The header lines as they stand in the file (without line ends).
    std::vector<std::string> Lines() const;
};

// Joins lines, each followed by CR LF.
std::string CrLf(const std::vector<std::string> &lines);

// Splits a text at CR LF; a last line without CR LF is kept as it is.
std::vector<std::string> SplitCrLf(const std::string &text);

// A file of n bytes of varied content.
std::string Bytes(size_t n, char seed = 'a');

// One message box that a test saw: the string-table id recognised from its
// text (0 when unknown), its text and its style.
struct SeenMessage {
    int id;
    std::string text;
    unsigned type;
};

// Sees every message box while it lives and answers it: first from the
// queue of answers, then with the default answer. Initialises the message
// caption from the program's string table.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    std::vector<SeenMessage> seen;
    std::deque<int> answers;
    int defaultAnswer = 1;

    // The ids seen, in order.
    std::vector<int> Ids() const;
    int Count(int id) const;
};

// Recognises the string-table message of a text: 204, 211, 212, 213, 215.
int MessageIdOfText(const std::u16string &text);

// A test device with a card, plus the helpers of script tests. Device paths
// of the card begin with "\Storage Card".
class ScriptFixture : public DeviceFixture {
protected:
    // Writes a card file, given relative to the card ("Pkg/Notes.exe.ARM").
    void CardFile(const std::string &rel, const std::string &content) { WriteHostFile(CardHost(rel), content); }
    // Files of the object store, relative to "\" ("Temp/a.load").
    void StoreFile(const std::string &rel, const std::string &content) { WriteHostFile(StoreHost(rel), content); }
    bool StoreExists(const std::string &rel) const { return HostExists(StoreHost(rel)); }
    std::string StoreRead(const std::string &rel) const { return ReadHostFile(StoreHost(rel)); }

    // Registry reads through the device's own registry functions.
    bool KeyExists(uint32_t root, const std::u16string &path);
    bool ReadDword(uint32_t root, const std::u16string &path, const std::u16string &name, uint32_t &value);
    bool ReadString(uint32_t root, const std::u16string &path, const std::u16string &name, std::u16string &value);
    // The shared count of a device path; 0 when none is stored.
    uint32_t SharedCount(const std::string &devicePath);
    bool CreateKey(uint32_t root, const std::u16string &path);
    bool SetDword(uint32_t root, const std::u16string &path, const std::u16string &name, uint32_t value)
    {
        return PutValue(root, path, name, REG_DWORD, std::string((const char *)&value, 4));
    }
    // A value as stored: its type and bytes (up to 1024), or the registry's
    // error. PutValue makes the key when needed and stores the bytes as given.
    long QueryValue(uint32_t root, const std::u16string &path, const std::u16string &name, uint32_t *type,
                    std::string *bytes);
    bool PutValue(uint32_t root, const std::u16string &path, const std::u16string &name, uint32_t type,
                  const std::string &bytes);

    // Every file below a host folder, as relative paths with their sizes.
    static std::vector<std::pair<std::string, uint64_t>> HostTree(const std::string &dir);
};

} // namespace cetest

#endif
