// registry_export_test.cpp - the registry's text forms as `cedevice reg
// export` and `cedevice reg dump` print them: REGEDIT4 (checked by a small
// independent parser and a round trip) and JSON Lines.
#include <windows.h>

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "helpers/testdevice.h"

namespace {

// key path (UTF-8) -> value name -> type and bytes
using Tree = std::map<std::string, std::map<std::u16string, std::pair<DWORD, std::string>>>;

std::string Bytes(const std::u16string &s, bool terminator = true)
{
    std::string out(reinterpret_cast<const char *>(s.data()), s.size() * 2);
    if (terminator)
        out.append(2, '\0');
    return out;
}

// Reads REGEDIT4 text as another tool would; false, saying why and where, on
// anything else.
bool ReadRegedit4(const std::string &t, Tree &tree, std::string &why)
{
    size_t p = 0;
    auto lit = [&](const std::string &s) { return t.compare(p, s.size(), s) == 0 ? (p += s.size(), true) : false; };
    // A double-quoted text with \\ and \" escapes; it may hold line breaks.
    auto quoted = [&](std::string &out) {
        if (!lit("\""))
            return false;
        while (p < t.size()) {
            char c = t[p++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (p >= t.size() || (t[p] != '\\' && t[p] != '"'))
                    return false;
                c = t[p++];
            }
            out += c;
        }
        return false;
    };
    auto fail = [&](const std::string &what) { return why = what + " at offset " + std::to_string(p), false; };
    auto hex = [&](size_t digits) { return p + digits <= t.size() ? std::stoul(t.substr(p, digits), nullptr, 16) : 0; };
    if (!lit("REGEDIT4\n\n"))
        return fail("no REGEDIT4 header");
    std::string key;
    while (p < t.size()) {
        if (lit("\n"))
            continue;
        if (lit("[")) {
            size_t end = t.find("]\n", p);
            if (end == std::string::npos)
                return fail("unterminated key line");
            key = t.substr(p, end - p);
            if (!tree.emplace(key, Tree::mapped_type()).second)
                return fail("key listed twice: " + key);
            p = end + 2;
            continue;
        }
        std::string name, text;
        if (key.empty() || !(lit("@") || quoted(name)) || !lit("="))
            return fail("bad value name");
        DWORD type = REG_BINARY;
        std::string bytes;
        if (quoted(text)) {
            type = REG_SZ;
            bytes = Bytes(cetest::U16(text));
        } else if (lit("dword:")) {
            uint32_t d = static_cast<uint32_t>(hex(8));
            p += 8;
            type = REG_DWORD;
            bytes.assign(reinterpret_cast<const char *>(&d), 4);
        } else if (lit("hex")) {
            if (lit("(")) {
                size_t close = t.find("):", p);
                if (close == std::string::npos)
                    return fail("bad hex(N)");
                type = static_cast<DWORD>(std::stoul(t.substr(p, close - p)));
                p = close + 1;
            }
            if (!lit(":"))
                return fail("no ':' after hex");
            while (p + 2 <= t.size() && t[p] != '\n') {
                bytes += static_cast<char>(hex(2));
                p += 2;
                lit(",");
            }
        } else {
            return fail("unknown value form");
        }
        if (p > t.size() || !lit("\n"))
            return fail("value line does not end");
        if (!tree[key].emplace(cetest::U16(name), std::make_pair(type, bytes)).second)
            return fail("value listed twice");
    }
    return true;
}

class RegExport : public cetest::DeviceFixture {
protected:
    HKEY Create(HKEY parent, const std::u16string &path, const char16_t *cls = u"")
    {
        HKEY k = 0;
        std::u16string c = cls;
        EXPECT_EQ(RegCreateKeyExW(parent, path.c_str(), 0, c.data(), 0, 0, nullptr, &k, nullptr), ERROR_SUCCESS);
        return k;
    }
    void Set(HKEY k, const std::u16string &name, DWORD type, const std::string &bytes)
    {
        ASSERT_EQ(RegSetValueExW(k, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS)
            << cetest::U8(name);
    }
    // What `cedevice reg VERB DEVICE` prints; it reads the registry from
    // another process, so no key may be held open meanwhile.
    std::string Cedevice(const std::string &verb)
    {
        std::string cmd = std::string("'") + CESETUP_BIN_DIR + "/cedevice' reg " + verb + " '" + deviceDir + "'";
        std::string out;
        FILE *p = popen(cmd.c_str(), "r");
        if (!p)
            return "<popen failed>";
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        int status = pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd << ": status " << status;
        return out;
    }
    std::string Export() { return Cedevice("export"); }
};

TEST_F(RegExport, RoundTripThroughAnIndependentReader)
{
    const std::string rt = "HKEY_LOCAL_MACHINE\\Software\\RoundTrip";
    Tree expected;
    // Every key is listed, also parents without values.
    expected["HKEY_LOCAL_MACHINE\\Software"], expected[rt + "\\Deep"];
    expected[rt] = {
        {u"", {REG_SZ, Bytes(u"unnamed")}},
        {u"Quote\"d", {REG_SZ, Bytes(u"say \"hi\" to C:\\Windows\\")}},
        {u"Accents", {REG_SZ, Bytes(u"\u00e9t\u00e9 \u0416 \u20ac \U0001F600")}},
        {u"Max", {REG_DWORD, std::string("\xff\xff\xff\xff", 4)}},
        {u"Blob", {REG_BINARY, std::string("\0\x01\x7f\x80\xfe\xff", 6)}},
        // Not expressible as a string or dword: must come back byte for byte.
        {u"Unterminated", {REG_SZ, Bytes(u"abc", false)}},
        {u"OddBytes", {REG_SZ, std::string("abc", 3)}},
        {u"ShortDword", {REG_DWORD, std::string("\x01\x02", 2)}},
    };
    expected[rt + "\\Deep\\Name With \"Quotes\""][u"x"] = {REG_DWORD, std::string("\x05\0\0\0", 4)};

    // Written through the calls (with a class, which the text does not carry),
    // the tree is read back from the text by the independent reader.
    auto write = [&](const Tree &tree) {
        for (const auto &k : tree) {
            HKEY h = Create(HKEY_LOCAL_MACHINE, cetest::U16(k.first.substr(k.first.find('\\') + 1)), u"ParvellRegClass");
            for (const auto &v : k.second)
                Set(h, v.first, v.second.first, v.second.second);
            RegCloseKey(h);
        }
    };
    write(expected);
    std::string text = Export();
    Tree parsed;
    std::string why;
    ASSERT_TRUE(ReadRegedit4(text, parsed, why)) << why << "\n" << text;
    EXPECT_TRUE(parsed == expected) << "the text does not give back the keys, names, types and bytes:\n" << text;

    // Written into an emptied registry, the parsed text exports the same text.
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software"), ERROR_SUCCESS);
    ASSERT_EQ(Export(), "REGEDIT4\n\n");
    write(parsed);
    EXPECT_EQ(Export(), text);
}

TEST_F(RegExport, DumpIsOneJsonObjectPerKey)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", u"ParvellRegClass");
    Set(k, u"\\Windows\\dravex.dll", REG_DWORD, std::string("\x02\0\0\0", 4));
    Set(k, u"", REG_SZ, Bytes(u"say \"\u00e9\""));
    Set(k, u"Raw", REG_BINARY, std::string("\x0a\xff", 2));
    RegCloseKey(k);

    const std::string text = Cedevice("dump");
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_EQ(lines.size(), 3u) << text;
    EXPECT_EQ(lines[0]["key"], "HKEY_LOCAL_MACHINE\\Software");
    EXPECT_EQ(lines[1]["key"], "HKEY_LOCAL_MACHINE\\Software\\Apps");
    // Values in folded order: '\\' (0x5C) sorts before the folded 'r'.
    EXPECT_EQ(lines[2], nlohmann::json::parse(R"({"key": "HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared",
        "class": "ParvellRegClass", "values": [{"name": "", "type": 1, "data": "say \"\u00e9\""},
        {"name": "\\Windows\\dravex.dll", "type": 4, "data": 2}, {"name": "Raw", "type": 3, "data": "0aff"}]})"))
        << text;
    EXPECT_EQ(text.rfind("{\"key\":", 0), 0u) << "fields in the documented order: " << text;
}

} // namespace
