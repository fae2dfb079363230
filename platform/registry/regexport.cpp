// regexport.cpp - the registry as text for people and tools: REGEDIT4
// (cedevice reg export) and JSON Lines (cedevice reg dump).
//
// Both show one moment of the registry (one read transaction), keys in
// enumeration order with parents first. The .reg text is lossless: a value
// that REGEDIT4 cannot show as a string or dword (a REG_SZ without its
// terminator, with an inner zero or a lone surrogate; a REG_DWORD that is
// not 4 bytes) is written as hex(N) with its exact bytes.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ostream>

#include "registry/registry.h"
#include "text/text.h"
#include "registry/regstore.h"

namespace plat {
namespace {

// The text of well-formed REG_SZ data: UTF-16 units ending in the one zero,
// no unpaired surrogate. False for anything else.
bool StringData(const std::string &data, std::u16string &text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    size_t n = data.size() / 2;
    text.assign(n, u'\0');
    for (size_t i = 0; i < n; ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                        (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    if (text.back() != 0)
        return false;
    text.pop_back();
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (u == 0)
            return false;
        if (u >= 0xd800 && u < 0xdc00) {
            if (i + 1 >= text.size() || text[i + 1] < 0xdc00 || text[i + 1] >= 0xe000)
                return false;
            ++i;
        } else if (u >= 0xdc00 && u < 0xe000) {
            return false;
        }
    }
    return true;
}

// REGEDIT4 quoting: only the backslash and the double quote are escaped.
std::string Quoted(const std::u16string &s)
{
    std::string u8 = ToUtf8(s);
    std::string out = "\"";
    for (char c : u8) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string HexList(const std::string &data)
{
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
        if (i)
            out += ',';
        out += buf;
    }
    return out;
}

std::string HexText(const std::string &data)
{
    std::string out;
    char buf[4];
    for (unsigned char c : data) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

uint32_t Dword(const std::string &data)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
    return v;
}

std::string RegLine(const reg::ValueRow &v)
{
    std::string line = v.name.empty() ? "@" : Quoted(v.name);
    line += '=';
    std::u16string text;
    if (v.type == REG_SZ && StringData(v.data, text)) {
        line += Quoted(text);
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", Dword(v.data));
        line += buf;
    } else if (v.type == REG_BINARY) {
        line += "hex:" + HexList(v.data);
    } else {
        line += "hex(" + std::to_string(v.type) + "):" + HexList(v.data);
    }
    return line;
}

} // namespace

bool RegistryExport(std::ostream &out, const std::string &keyUtf8, std::string &error)
{
    std::string text = "REGEDIT4\n\n";
    bool ok = reg::Walk(
        keyUtf8,
        [&](const reg::KeyRow &k) {
            text += "[" + ToUtf8(k.path) + "]\n";
            for (const auto &v : k.values)
                text += RegLine(v) + "\n";
            text += "\n";
        },
        error);
    if (!ok)
        return false;
    out << text;
    if (!out) {
        error = "cannot write the registry text";
        return false;
    }
    return true;
}

bool RegistryDump(std::ostream &out, std::string &error)
{
    std::string text;
    bool ok = reg::Walk(
        "",
        [&](const reg::KeyRow &k) {
            nlohmann::ordered_json line;
            line["key"] = ToUtf8(k.path);
            line["class"] = ToUtf8(k.cls);
            nlohmann::ordered_json values = nlohmann::ordered_json::array();
            for (const auto &v : k.values) {
                nlohmann::ordered_json jv;
                jv["name"] = ToUtf8(v.name);
                jv["type"] = v.type;
                if (v.type == REG_SZ) {
                    // The text up to its first zero (a lone odd byte is not text).
                    std::u16string s;
                    for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
                        char16_t u = static_cast<char16_t>(
                            static_cast<unsigned char>(v.data[i]) |
                            (static_cast<unsigned char>(v.data[i + 1]) << 8));
                        if (u == 0)
                            break;
                        s += u;
                    }
                    jv["data"] = ToUtf8(s);
                } else if (v.type == REG_DWORD && v.data.size() == 4) {
                    jv["data"] = Dword(v.data);
                } else {
                    jv["data"] = HexText(v.data);
                }
                values.push_back(std::move(jv));
            }
            line["values"] = std::move(values);
            text += line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
            text += '\n';
        },
        error);
    if (!ok)
        return false;
    out << text;
    if (!out) {
        error = "cannot write the registry text";
        return false;
    }
    return true;
}

} // namespace plat
