#!/usr/bin/env python3
"""Generates the declarations check: a C++ program that, built with mingw-w64
against the real Win32 headers, compares every constant, structure layout and
function signature of platform/include with them.

    gen_declarations.py REPO OUTDIR

1. A probe built with the host compiler against platform/include prints the
   platform's values: each constant's value, each structure's size and each
   field's offset, size and alignment.
2. OUTDIR/declarations.cpp is written: tables of rows, each the platform's
   value beside the same expression in the real headers, and the expected
   differences of tests/conformance/declarations.txt compiled in.

Handles are 32-bit values on the device and pointers on Win64: a field of a
handle type is expected 8 bytes wide (the layout is recomputed with natural
alignment), and a constant whose real value is a pointer is compared in its
low 32 bits.
"""
import os
import re
import subprocess
import sys

HANDLE_TYPES = {
    "HANDLE", "HWND", "HKEY", "HINSTANCE", "HMODULE", "HDC", "HGDIOBJ", "HBITMAP", "HBRUSH", "HPEN",
    "HFONT", "HRGN", "HPALETTE", "HICON", "HCURSOR", "HMENU", "HACCEL",
}
# Words that can end a parameter's type rather than name it.
TYPE_WORDS = {"void", "int", "char", "short", "long", "unsigned", "signed", "float", "double", "const", "..."}


def fail(msg):
    sys.stderr.write("gen_declarations: %s\n" % msg)
    sys.exit(1)


def read_headers(include):
    """Each header's text without comments, continued lines joined."""
    headers = {}
    for name in sorted(os.listdir(include)):
        if name.endswith(".h"):
            with open(os.path.join(include, name), encoding="utf-8") as f:
                text = re.sub(r"/\*.*?\*/", " ", f.read(), flags=re.S)
            headers[name] = re.sub(r"//[^\n]*", "", text).replace("\\\n", " ")
    return headers


def constants(headers, function_names):
    """Object-like macros with a value (header guards, empty markers and
    aliases of functions left out)."""
    out = []
    for text in headers.values():
        for m in re.finditer(r"^[ \t]*#[ \t]*define[ \t]+([A-Za-z_]\w*)(?!\()[ \t]*(.*?)[ \t]*$", text, re.M):
            name, body = m.group(1), m.group(2)
            if not body or name.startswith("CE_") or body in ("const", "void") or body in function_names:
                continue
            out.append(name)
    return out


def structs(headers):
    """(typedef name, [(field, declared type)]) of each struct and union typedef."""
    out = []
    for text in headers.values():
        for m in re.finditer(r"typedef\s+(struct|union)\s*\w*\s*\{", text):
            depth, i = 1, m.end()
            while depth:
                depth += {"{": 1, "}": -1}.get(text[i], 0)
                i += 1
            body = text[m.end():i - 1]
            name = re.match(r"\s*(\w+)", text[i:]).group(1)
            fields = []
            # Nested anonymous members (the LARGE_INTEGER halves) are flattened.
            flat = re.sub(r"(struct|union)\s*\{", " ", body).replace("}", " ")
            for decl in flat.split(";"):
                decl = " ".join(decl.split())
                if not decl:
                    continue
                m2 = re.match(r"((?:const\s+)?[A-Za-z_]\w*(?:\s+[A-Za-z_]\w*)*?\s*\**)\s*([A-Za-z_]\w*(?:\[\w+\])?(?:\s*,\s*\**\s*[A-Za-z_]\w*(?:\[\w+\])?)*)$", decl)
                if not m2:
                    fail("cannot read the field declaration %r of %s" % (decl, name))
                base = m2.group(1).strip()
                for part in m2.group(2).split(","):
                    part = part.strip()
                    stars = part.count("*")
                    fname = re.match(r"\**\s*([A-Za-z_]\w*)", part).group(1)
                    fields.append((fname, base + "*" * stars))
            out.append((name, fields))
    return out


def functions(headers):
    """(name, return type, [parameter types]) of each declared function."""
    out = []
    for text in headers.values():
        for block in re.findall(r"CE_BEGIN_DECLS(.*?)CE_END_DECLS", text, re.S):
            block = re.sub(r"^[ \t]*#.*$", "", block, flags=re.M)
            for decl in block.split(";"):
                decl = " ".join(decl.split())
                if not decl or decl.startswith("typedef") or "(" not in decl:
                    continue
                m = re.match(r"(.*?)\b(?:WINAPIV?\s+|CALLBACK\s+)?([A-Za-z_]\w*)\s*\((.*)\)$", decl)
                if not m:
                    fail("cannot read the declaration %r" % decl)
                ret, name, params = m.group(1).strip(), m.group(2), m.group(3).strip()
                ret = re.sub(r"\b(WINAPIV?|CALLBACK)\b", "", ret).strip()
                types = []
                if params and params != "void":
                    for p in split_params(params):
                        types.append(param_type(p))
                out.append((name, ret, types))
    return out


def split_params(params):
    parts, depth, cur = [], 0, ""
    for c in params:
        if c == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
            continue
        depth += {"(": 1, ")": -1}.get(c, 0)
        cur += c
    parts.append(cur.strip())
    return parts


def param_type(p):
    if p == "...":
        return p
    m = re.match(r"(.*?)([A-Za-z_]\w*)(\s*\[\s*\w*\s*\])?$", p)
    if m and m.group(1).strip() and m.group(2) not in TYPE_WORDS and not re.search(r"\b(const|unsigned|signed)\s*$", m.group(1)):
        t = m.group(1).strip()
        if m.group(3):
            t += "*"
        return t
    return p


def probe(repo, out_dir, names, struct_list):
    """Builds and runs the host probe; returns the platform's values."""
    src = os.path.join(out_dir, "probe.cpp")
    lines = ["#include <windows.h>", "#include <commctrl.h>", "#include <shellapi.h>", "#include <cstddef>",
             "#include <cstdio>", "#include <type_traits>",
             "template <class T> void C(const char *n, const T &v) {",
             "  using U = std::decay_t<T>;",
             "  if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {",
             "    if constexpr (std::is_signed_v<U>) std::printf(\"C %s i %lld\\n\", n, (long long)v);",
             "    else std::printf(\"C %s i %llu\\n\", n, (unsigned long long)v);",
             "  } else if constexpr (std::is_array_v<T>) {",
             "    std::printf(\"C %s s\", n); for (auto c : v) std::printf(\" %u\", (unsigned)c); std::printf(\"\\n\");",
             "  } else if constexpr (std::is_pointer_v<U> && !std::is_function_v<std::remove_pointer_t<U>>) {",
             "    std::printf(\"C %s p %llu\\n\", n, (unsigned long long)(uintptr_t)v);",
             "  }",
             "}",
             "#define F(S, f) std::printf(\"F %s %s %zu %zu %zu\\n\", #S, #f, offsetof(S, f), sizeof(((S *)0)->f), alignof(decltype(((S *)0)->f)))",
             "int main() {"]
    first = len(lines) + 1
    for n in names:
        lines.append("  C(\"%s\", %s);" % (n, n))
    for sname, fields in struct_list:
        lines.append("  std::printf(\"S %s %%zu\\n\", sizeof(%s));" % (sname, sname))
        for f, _ in fields:
            lines.append("  F(%s, %s);" % (sname, f))
    lines += ["  return 0;", "}"]
    dropped = set()
    for _ in range(4):
        with open(src, "w") as f:
            f.write("\n".join(l for i, l in enumerate(lines, 1) if i not in dropped) + "\n")
        r = subprocess.run(["g++", "-std=c++17", "-w", "-I", os.path.join(repo, "platform", "include"),
                            src, "-o", os.path.join(out_dir, "probe")], capture_output=True, text=True)
        if r.returncode == 0:
            break
        # Macros that are not expressions (keywords, aliases of function-like
        # macros) fail to compile: their lines are left out and it is tried again.
        bad = {int(m.group(1)) for m in re.finditer(r"probe\.cpp:(\d+):\d+:", r.stderr)}
        kept = [i for i in range(1, len(lines) + 1) if i not in dropped]
        bad = {kept[b - 1] for b in bad if 0 < b <= len(kept)}
        bad = {b for b in bad if first <= b < first + len(names)}
        if not bad:
            fail("the probe does not build:\n" + r.stderr[:4000])
        dropped |= bad
    else:
        fail("the probe does not build")
    r = subprocess.run([os.path.join(out_dir, "probe")], capture_output=True, text=True, check=True)
    consts, sizes, fields = {}, {}, {}
    for line in r.stdout.splitlines():
        w = line.split()
        if w[0] == "C":
            consts[w[1]] = (w[2], w[3:])
        elif w[0] == "S":
            sizes[w[1]] = int(w[2])
        elif w[0] == "F":
            fields[(w[1], w[2])] = tuple(int(x) for x in w[3:])
    return consts, sizes, fields


def real_layout(fields, facts):
    """Offsets and size the structure has on Win64 when its handle fields are 8 bytes."""
    if not any(t in HANDLE_TYPES for _, t in fields):
        return None
    off, maxalign, out = 0, 1, []
    for f, t in fields:
        size, align = facts[f][1], facts[f][2]
        if t in HANDLE_TYPES:
            size, align = 8, 8
        off = (off + align - 1) // align * align
        out.append((f, off, size))
        off += size
        maxalign = max(maxalign, align)
    return out, (off + maxalign - 1) // maxalign * maxalign


def read_expected(path):
    rows = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = [p.strip() for p in line.split("|", 2)]
            if len(parts) != 3 or parts[0] not in ("absent", "differs") or not parts[1] or not parts[2]:
                fail("%s:%d: expected \"absent|differs | NAME | reason\"" % (path, n))
            if parts[1] in rows:
                fail("%s:%d: %s is listed twice" % (path, n, parts[1]))
            rows[parts[1]] = (parts[0], parts[2])
    return rows


def cstr(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    if len(sys.argv) != 3:
        fail("usage: gen_declarations.py REPO OUTDIR")
    repo, out_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    headers = read_headers(os.path.join(repo, "platform", "include"))
    funcs = functions(headers)
    names = constants(headers, {f[0] for f in funcs})
    struct_list = structs(headers)
    consts, sizes, facts = probe(repo, out_dir, names, struct_list)
    expected = read_expected(os.path.join(repo, "tests", "conformance", "declarations.txt"))

    rows = []  # (kind, name, C++ expression giving "same", platform text)
    seen = set()
    for n in names:
        if n not in consts or n in seen:
            continue  # not an expression (a keyword or an alias of a function-like macro)
        seen.add(n)
        kind, vals = consts[n]
        if kind == "i":
            rows.append(("constant", n, "SameValue(%s, %sLL)" % (n, vals[0]) if vals[0].startswith("-")
                         else "SameValue(%s, %sULL)" % (n, vals[0]), vals[0]))
        elif kind == "p":
            rows.append(("constant", n, "SameValue(%s, %sULL)" % (n, vals[0]), vals[0]))
        elif kind == "s":
            units = ", ".join(vals)
            rows.append(("constant", n, "SameText(%s, {%s})" % (n, units), "string"))
    for sname, fields in struct_list:
        if sname not in sizes:
            continue
        layout = real_layout(fields, {f: facts[(sname, f)] for f, _ in fields})
        if layout:
            expect = {f: (o, s) for f, o, s in layout[0]}
            size = layout[1]
        else:
            expect = {f: facts[(sname, f)][:2] for f, _ in fields}
            size = sizes[sname]
        checks = ["sizeof(%s) == %d" % (sname, size)]
        # A structure listed as different may lack fields of the platform's.
        for f, _ in ([] if sname in expected else fields):
            o, s = expect[f]
            checks.append("offsetof(%s, %s) == %d && sizeof(((%s *)0)->%s) == %d" % (sname, f, o, sname, f, s))
        rows.append(("structure", sname, " && ".join("(%s)" % c for c in checks), "%d bytes" % sizes[sname]))
    for name, ret, types in funcs:
        if name in seen:
            continue
        seen.add(name)
        sig = "%s (*)(%s)" % (ret, ", ".join(types))
        rows.append(("function", name, "std::is_same<decltype(&::%s), %s>::value" % (name, sig), sig))

    for name in sorted(set(expected) - {r[1] for r in rows}):
        fail("declarations.txt lists %s, which platform/include does not declare" % name)

    out = ["// Generated by tests/conformance/gen_declarations.py from platform/include: do not edit.",
           "#include <windows.h>", "#include <commctrl.h>", "#include <shellapi.h>", "#include <shlobj.h>",
           "#include <cstddef>", "#include <cstdint>", "#include <cstdio>", "#include <cstring>",
           "#include <initializer_list>", "#include <type_traits>", "",
           "// Integral values compare in full; a pointer (a handle on Win64) in its low",
           "// 32 bits, the device's handle width.",
           "template <class T> bool SameValue(T v, unsigned long long platform) {",
           "  if constexpr (std::is_pointer_v<T>) return (uint32_t)(uintptr_t)v == (uint32_t)platform;",
           "  else return (unsigned long long)(long long)v == platform || (unsigned long long)v == platform;",
           "}",
           "template <class T> bool SameValue(T v, long long platform) { return (long long)v == platform; }",
           "template <class T> bool SameText(const T &s, std::initializer_list<unsigned> units) {",
           "  size_t i = 0;",
           "  for (unsigned u : units) { if (i >= sizeof(s) / sizeof(s[0]) || (unsigned)(unsigned short)s[i] != u) return false; ++i; }",
           "  return i == sizeof(s) / sizeof(s[0]);",
           "}",
           "struct Row { const char *kind, *name, *platform; bool same; int listed; const char *reason; };",
           "// listed: 0 none, 1 differs, 2 absent from the real headers (not compiled)",
           "static const Row kRows[] = {"]
    for kind, name, expr, plat in rows:
        status, reason = expected.get(name, (None, ""))
        if status == "absent":
            out.append("  {%s, %s, %s, false, 2, %s}," % (cstr(kind), cstr(name), cstr(plat), cstr(reason)))
        else:
            out.append("  {%s, %s, %s, %s, %d, %s}," % (cstr(kind), cstr(name), cstr(plat), expr,
                                                       1 if status == "differs" else 0, cstr(reason)))
    out += ["};", "",
            "int main() {",
            "  int agree = 0, differ = 0, absent = 0, fresh = 0, stale = 0, kinds[3] = {0, 0, 0};",
            "  for (const Row &r : kRows) {",
            "    kinds[r.kind[0] == 'c' ? 0 : r.kind[0] == 's' ? 1 : 2]++;",
            "    if (r.listed == 2) { ++absent; continue; }",
            "    if (r.same && !r.listed) { ++agree; continue; }",
            "    if (!r.same && r.listed) { ++differ; std::printf(\"expected difference: %s %s: %s\\n\", r.kind, r.name, r.reason); continue; }",
            "    if (r.same) { ++stale; std::printf(\"LISTED DIFFERENCE DID NOT OCCUR: %s %s\\n\", r.kind, r.name); }",
            "    else { ++fresh; std::printf(\"NEW DIFFERENCE: %s %s (platform: %s)\\n\", r.kind, r.name, r.platform); }",
            "  }",
            "  std::printf(\"declarations: %d constants, %d structures, %d functions checked; %d agreeing, \"",
            "              \"%d differing as listed, %d absent from the desktop headers (listed), %d new differences, \"",
            "              \"%d stale list rows\\n\", kinds[0], kinds[1], kinds[2], agree, differ, absent, fresh, stale);",
            "  return fresh || stale ? 1 : 0;",
            "}"]
    with open(os.path.join(out_dir, "declarations.cpp"), "w") as f:
        f.write("\n".join(out) + "\n")
    print("gen_declarations: %d constants, %d structures, %d functions" %
          (sum(r[0] == "constant" for r in rows), sum(r[0] == "structure" for r in rows),
           sum(r[0] == "function" for r in rows)))


if __name__ == "__main__":
    main()
