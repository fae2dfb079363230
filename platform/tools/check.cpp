// check.cpp - the device tool's check command: each product of a card
// installed with the proposed choices and removed again, each on a fresh
// scratch device of its own, then the device compared with its fresh
// state. Products run in parallel (-j N), each as child processes of the
// tool (init, snapshot, cesetup), so that one product's run never touches
// another's device; the scratch folders are removed afterwards.
#include <windows.h>

#include "device/device.h"
#include "text/text.h"
#include "script/script.h"
#include "setup/setup.h"
#include "tools/snapshot.h"
#include "tools/tool.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace cedevice {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Runs a program and waits for it; its output goes to files beside the run.
int Spawn(const std::vector<std::string> &argv, const std::string &out, const std::string &err)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string FirstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

struct Options {
    std::string card;
    std::string osVersion, storageKb;
    unsigned jobs = 0;
    bool json = false;
};

struct Result {
    std::string product;
    bool installed = false, removed = false;
    json messages = json::array();
    uint64_t estimate = 0, written = 0;
    std::vector<Difference> leftovers;
    std::vector<Difference> kept; // the setup program's own keys, left empty by design
    std::string failure;          // a step that could not run at all
};

// The setup program keeps its installer key and its shared-count key (and
// so their parents) for every later installation: when a removal leaves
// them without values, they are no leftover of the package.
void SeparateKept(const json &removed, Result &r)
{
    static const char *const kKeys[] = {
        "HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE\\Software\\Apps",
        "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell", "HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared"};
    auto own = [](const std::string &key) {
        for (const char *k : kKeys)
            if (key == k)
                return true;
        return false;
    };
    // Kept when the removal left it without values; a key of the package
    // below one of them is a leftover of its own.
    std::set<std::string> empty;
    for (const json &k : removed["registry"])
        if (own(k.value("key", "")) && k["values"].empty())
            empty.insert(k.value("key", ""));
    std::vector<Difference> left;
    for (const Difference &d : r.leftovers)
        (d.kind == "key" && d.change == "added" && empty.count(d.key) ? r.kept : left).push_back(d);
    r.leftovers = left;
}

// One product's check in its own scratch folder.
class ProductCheck {
public:
    ProductCheck(const Options &o, const std::string &bin, const std::string &dir,
                 const std::vector<std::string> &othersScripts)
        : o_(o), bin_(bin), dir_(dir), hide_(othersScripts)
    {
    }

    Result Run()
    {
        Result r;
        std::error_code ec;
        fs::create_directories(dir_, ec);
        // The card is copied, so that nothing a run writes there reaches
        // the author's card, and the other products' scripts left out, so
        // that only this product is offered.
        fs::copy(o_.card, Card(), fs::copy_options::recursive, ec);
        if (ec) {
            r.failure = "cannot copy the card " + o_.card + ": " + ec.message();
            return r;
        }
        for (const std::string &rel : hide_)
            fs::remove(fs::path(Card()) / rel, ec);

        std::vector<std::string> init = {bin_ + "/cedevice", "init", Device()};
        if (!o_.osVersion.empty())
            init.insert(init.end(), {"--os-version", o_.osVersion});
        if (!o_.storageKb.empty())
            init.insert(init.end(), {"--storage-kb", o_.storageKb});
        if (!Step(init, "init", r) || !Step({bin_ + "/cedevice", "snapshot", Device(), File("fresh.json")}, "snapshot", r))
            return r;

        int code = Setup({"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                          "page 104: click Continue", "page 112: select 1014 #0; click Install",
                          "page 108: click Skip", "page 111: close", "message 204: answer No",
                          "message 219: answer OK", "message 220: answer OK", "message *: answer OK"},
                         "install", r);
        json fresh, installed, removed;
        std::string error;
        if (!Step({bin_ + "/cedevice", "snapshot", Device(), File("installed.json")}, "snapshot", r) ||
            !LoadState(File("fresh.json"), fresh, error) || !LoadState(File("installed.json"), installed, error)) {
            r.failure = r.failure.empty() ? error : r.failure;
            return r;
        }
        r.installed = code == 0 && HasMessage(r, 216);
        Record(installed, fresh, r);

        code = Setup({"page 108: click Remove", "page 105: click Skip", "page 111: select 1005 #0; click Remove",
                      "message *: answer OK"},
                     "remove", r);
        r.removed = code == 0 && HasMessage(r, 217);
        if (!Step({bin_ + "/cedevice", "snapshot", Device(), File("removed.json")}, "snapshot", r) ||
            !LoadState(File("removed.json"), removed, error)) {
            r.failure = r.failure.empty() ? error : r.failure;
            return r;
        }
        r.leftovers = CompareStates(fresh, removed);
        SeparateKept(removed, r);
        return r;
    }

private:
    std::string Card() const { return dir_ + "/card"; }
    std::string Device() const { return dir_ + "/device"; }
    std::string File(const std::string &name) const { return dir_ + "/" + name; }

    bool Step(const std::vector<std::string> &argv, const std::string &what, Result &r)
    {
        int code = Spawn(argv, File(what + ".out"), File(what + ".err"));
        if (code == 0)
            return true;
        r.failure = what + " failed (exit " + std::to_string(code) + "): " + FirstLine(ReadText(File(what + ".err")));
        return false;
    }

    // A cesetup run on the scratch device; its messages are kept.
    int Setup(const std::vector<std::string> &rules, const std::string &run, Result &r)
    {
        std::ofstream answers(File(run + ".answers"));
        for (const std::string &rule : rules)
            answers << rule << "\n";
        answers.close();
        std::vector<std::string> argv = {bin_ + "/cesetup", "--device", Device(), "--card", Card(), "--ui", "none",
                                         "--answers", File(run + ".answers"), "--transcript",
                                         File(run + ".jsonl")};
        int code = Spawn(argv, File(run + ".out"), File(run + ".err"));
        std::ifstream t(File(run + ".jsonl"));
        for (std::string line; std::getline(t, line);) {
            json e = json::parse(line, nullptr, false);
            if (e.is_discarded() || e.value("event", "") != "message")
                continue;
            json m;
            m["run"] = run;
            if (e.contains("id"))
                m["id"] = e["id"];
            m["text"] = e.value("text", "");
            r.messages.push_back(m);
        }
        if (code != 0 && code != 1 && code != 4)
            r.failure = run + ": " + FirstLine(ReadText(File(run + ".err")));
        return code;
    }

    static bool HasMessage(const Result &r, int id)
    {
        for (const json &m : r.messages)
            if (m.value("id", -1) == id)
                return true;
        return false;
    }

    // The product's name, its recorded estimate, and the bytes of the
    // files the installation added or changed.
    static void Record(const json &installed, const json &fresh, Result &r)
    {
        const std::string prefix = "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\";
        for (const json &k : installed["registry"]) {
            std::string key = k.value("key", "");
            if (key.rfind(prefix, 0) != 0 || key.find('\\', prefix.size()) != std::string::npos)
                continue;
            r.product = key.substr(prefix.size());
            for (const json &v : k["values"])
                if (v.value("name", "") == "DstDiskSpaceReq" && v["data"].is_number())
                    r.estimate = v["data"].get<uint64_t>();
        }
        std::map<std::string, std::string> before;
        for (const json &f : fresh["files"])
            before[f.value("path", "")] = f.value("sha256", "");
        for (const json &f : installed["files"]) {
            if (f.value("folder", false))
                continue;
            auto it = before.find(f.value("path", ""));
            if (it == before.end() || it->second != f.value("sha256", ""))
                r.written += f.value("size", uint64_t(0));
        }
    }

    const Options &o_;
    std::string bin_, dir_;
    std::vector<std::string> hide_;
};

// The folder of this program, where cesetup lies too.
std::string BinDir(const char *argv0)
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = fs::absolute(argv0, ec);
    return self.parent_path().string();
}

bool ParseVersion(const std::string &v, DWORD &out)
{
    size_t dot = v.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= v.size() || v.size() > 9)
        return false;
    for (size_t i = 0; i < v.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(v[i])))
            return false;
    out = DWORD(std::stoul(v.substr(0, dot)) * 100 + std::stoul(v.substr(dot + 1)));
    return true;
}

// The card's scripts of each product, card-relative: every match of the
// product's pattern in the card's root and in the product's folder, as the
// program looks for them.
std::vector<std::vector<std::string>> ProductScripts()
{
    std::vector<std::vector<std::string>> out(PRODUCT_COUNT);
    for (int i = 0; i < PRODUCT_COUNT; ++i) {
        for (std::string folder : {std::string(), std::string(g_aProducts[i].pszFolderKeyWord)}) {
            std::string dev = "\\Storage Card" + (folder.empty() ? "" : "\\" + folder);
            std::u16string pattern = plat::FromUtf8(dev + "\\" + g_aProducts[i].pszScriptPattern);
            WIN32_FIND_DATAW fd;
            HANDLE h = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.c_str()), &fd);
            if (h == INVALID_HANDLE_VALUE)
                continue;
            do {
                std::string name = plat::ToUtf8(reinterpret_cast<const char16_t *>(fd.cFileName));
                out[i].push_back(folder.empty() ? name : folder + "/" + name);
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
    }
    return out;
}

void Print(const Result &r, bool asJson)
{
    if (asJson) {
        nlohmann::ordered_json j;
        j["product"] = r.product;
        j["installed"] = r.installed;
        j["removed"] = r.removed;
        j["messages"] = r.messages;
        j["estimate_bytes"] = r.estimate;
        j["written_bytes"] = r.written;
        nlohmann::ordered_json left = nlohmann::ordered_json::array();
        for (const Difference &d : r.leftovers)
            left.push_back(d.Json());
        j["leftovers"] = left;
        nlohmann::ordered_json kept = nlohmann::ordered_json::array();
        for (const Difference &d : r.kept)
            kept.push_back(d.Json());
        j["kept"] = kept;
        if (!r.failure.empty())
            j["failure"] = r.failure;
        std::cout << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        return;
    }
    std::cout << r.product << ": " << (r.installed ? "installed" : "NOT installed") << ", "
              << (r.removed ? "removed" : "NOT removed") << "; estimate " << r.estimate << " bytes, written "
              << r.written << " bytes; " << r.leftovers.size() << " leftover" << (r.leftovers.size() == 1 ? "" : "s")
              << "\n";
    if (!r.failure.empty())
        std::cout << "  failure: " << r.failure << "\n";
    for (const json &m : r.messages)
        if (m.value("id", 0) != 216 && m.value("id", 0) != 217)
            std::cout << "  message " << m.value("id", -1) << " (" << m.value("run", "") << "): "
                      << m.value("text", "") << "\n";
    for (const Difference &d : r.leftovers)
        std::cout << "  leftover: " << d.Text() << "\n";
    if (!r.kept.empty())
        std::cout << "  (kept by the setup program for later installations: " << r.kept.size() << " empty key"
                  << (r.kept.size() == 1 ? "" : "s") << " under HKEY_LOCAL_MACHINE\\Software)\n";
}

} // namespace

int Check(const std::vector<std::string> &args, const char *argv0)
{
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--json") {
            o.json = true;
        } else if (a == "--os-version" || a == "--storage-kb") {
            if (!value(a == "--os-version" ? o.osVersion : o.storageKb))
                return Usage(a + " needs a value");
        } else if (a == "-j" || a == "--jobs") {
            if (!value(v) || v.empty() || v.size() > 3 || !std::all_of(v.begin(), v.end(), ::isdigit) || std::stoi(v) < 1)
                return Usage("-j needs a number of parallel products, 1 or more");
            o.jobs = unsigned(std::stoi(v));
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (o.card.empty()) {
            o.card = a;
        } else {
            return Usage("unexpected argument \"" + a + "\"");
        }
    }
    if (o.card.empty())
        return Usage("check needs the card folder");
    DWORD version = 420;
    if (!o.osVersion.empty() && !ParseVersion(o.osVersion, version))
        return Usage("--os-version \"" + o.osVersion + "\" is not X.Y");
    std::error_code ec;
    if (!fs::is_directory(o.card, ec))
        return Fail(o.card + ": is not a folder (name the package folder, the one holding the .load scripts)");
    o.card = fs::absolute(o.card, ec).string();

    // Which products the card holds, found as the program finds them.
    SelectGlyphorScripts(version);
    std::vector<std::vector<std::string>> scripts;
    {
        ScratchDevice scratch;
        std::string error;
        if (!scratch.Open(o.card, error))
            return Fail(error);
        scripts = ProductScripts();
    }
    std::vector<int> products;
    for (int i = 0; i < PRODUCT_COUNT; ++i)
        if (!scripts[i].empty())
            products.push_back(i);
    if (products.empty())
        return Fail(o.card + ": no product's installation script (Dravex*.load, Miska*.load, " +
                    g_aProducts[2].pszScriptPattern + ", or in the products' folders)");

    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/cedevice-check-XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        return Fail("cannot make a scratch folder in " + tmpl.substr(0, tmpl.rfind('/')) + " (set TMPDIR to a writable folder)");
    std::string scratchRoot = tmpl;
    std::string bin = BinDir(argv0);
    std::vector<Result> results(products.size());
    std::atomic<size_t> next{0};
    unsigned jobs = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    auto worker = [&] {
        for (size_t n; (n = next++) < products.size();) {
            std::vector<std::string> hide;
            for (int j = 0; j < PRODUCT_COUNT; ++j)
                if (j != products[n])
                    hide.insert(hide.end(), scripts[j].begin(), scripts[j].end());
            results[n] = ProductCheck(o, bin, scratchRoot + "/" + std::to_string(n), hide).Run();
            if (results[n].product.empty())
                results[n].product = scripts[products[n]].front();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::min<size_t>(jobs, products.size()); ++t)
        threads.emplace_back(worker);
    for (std::thread &t : threads)
        t.join();
    fs::remove_all(scratchRoot, ec);

    bool clean = true;
    for (const Result &r : results) {
        Print(r, o.json);
        clean = clean && r.installed && r.removed && r.leftovers.empty() && r.failure.empty();
    }
    std::cout.flush();
    return clean ? 0 : 3;
}

} // namespace cedevice
