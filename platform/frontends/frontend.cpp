// frontend.cpp - choosing the front end, and the unattended one: pages and
// message boxes answered from the answer rules, the transcript's page,
// answer and message events, and screenshots.
//
// The unattended front end never waits. When a modal page or message box
// waits for input it performs the next action of its rule through the
// window messages a user's input makes (a tap on a button, an entry of a
// list, text into an edit); with no rule, or no action left, the run ends
// at once with exit code 3 and one line on stderr.
#include <windows.h>
#include <commctrl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "frontends/frontend.h"
#include "device/device.h"
#include "frontends/frontend_internal.h"
#include "frontends/hostinput.h"
#include "gdi/screen.h"
#include "text/text.h"
#include "device/transcript.h"
#include "user/query.h"
#include "user/resources.h"
#include "user/ui.h"
#include "kernel/changes.h"

namespace plat {
namespace {

struct Session {
    const AnswerRule *rule = nullptr;
    size_t next = 0;
    std::vector<std::string> done; // the rule's actions done, as written
    std::vector<std::string> seen; // what reached the page, as replayable actions
    int id = -1;
    int showing = 0;
    int eventNumber = 0;
    int shotStage = -1; // progress pages: the stage of the bar last taken (BarStage)
    bool shotPending = true; // a screenshot is due once the dialog is drawn
};

// What the user was told in this run, for the summary an interactive
// front end prints once the screen is restored.
struct RunLog {
    std::vector<std::string> installed, removed; // product names
    std::vector<std::string> messages;           // one line each, with the answer
};

// What the run's exit code is made of: a turn that failed (or nothing
// found), and the wizard ended by the user before every product was handled.
struct Outcome {
    bool failed = false;
    bool endedEarly = false;
};

struct State {
    bool started = false;
    Outcome outcome;
    RunLog log;
    std::vector<AnswerRule> rules;
    std::string screenshotsDir;
    std::map<int, int> pageShowings;
    std::map<int, int> messageShowings;
    std::map<HWND, Session> sessions;
    // Some session may have a screenshot pending: looked at whenever the
    // message loop finds nothing to do (each progress step), so the
    // sessions are walked only while one may be.
    bool shotsDue = false;
};

State g_state;
FrontendAbort g_abort;

// --progress: a line per file written, with the progress bar's percentage;
// on a terminal one line rewritten in place.
struct Progress {
    bool on = false;
    bool terminal = false;
    bool lineOpen = false; // a line without its end on the terminal
};
Progress g_progress;
void ProgressEnd();
// --record: the answer rules of this run, written as pages and boxes end.
FILE *g_record = nullptr;
// The record's path, and the first error writing it (0: none): a record
// that could not be written whole is said at its close, not lost quietly.
std::string g_recordPath;
int g_recordError = 0;

void RecordLine(const std::string &line)
{
    if (!g_record)
        return;
    errno = 0;
    if ((std::fputs(line.c_str(), g_record) < 0 || std::fputc('\n', g_record) == EOF || std::fflush(g_record) != 0) &&
        !g_recordError)
        g_recordError = errno ? errno : EIO;
}

void RecordClose()
{
    if (g_record) {
        errno = 0;
        if (std::fclose(g_record) != 0 && !g_recordError)
            g_recordError = errno ? errno : EIO;
        if (g_recordError)
            std::fprintf(stderr, "cesetup: the answers record %s could not be written whole (%s)\n",
                         g_recordPath.c_str(), std::strerror(g_recordError));
    }
    g_record = nullptr;
    g_recordError = 0;
}
// The interactive front end when gui or tui runs (null for none).
std::unique_ptr<InteractiveFrontend> g_ui;

// The program's confirmations start with the product's name in double
// quotes: string 216 after an installation, 217 after a removal.
constexpr int kInstalledMessage = 216;
constexpr int kRemovedMessage = 217;

std::string ButtonName(INT_PTR result)
{
    static const char *const names[] = {"none", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    return result >= 0 && result < INT_PTR(sizeof names / sizeof names[0]) ? names[result] : std::to_string(result);
}

// One line of a message box's text: line breaks become spaces, runs of
// spaces one, and a long text is cut.
std::string OneLine(const std::u16string &text, size_t max)
{
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
        if (c == u' ' && (out.empty() || out.back() == u' '))
            continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == u' ')
        out.pop_back();
    if (out.size() > max)
        out = out.substr(0, max - 3) + u"...";
    return ToUtf8(out);
}

void NoteMessage(const MessageBoxView &box, int msgId, INT_PTR result)
{
    RunLog &log = g_state.log;
    log.messages.push_back("[" + ButtonName(result) + "] " + OneLine(box.text, 66));
    if (msgId != kInstalledMessage && msgId != kRemovedMessage)
        return;
    const std::u16string &t = box.text;
    size_t open = t.find(u'"'), close = open == std::u16string::npos ? open : t.find(u'"', open + 1);
    if (close == std::u16string::npos)
        return;
    std::string name = ToUtf8(t.substr(open + 1, close - open - 1));
    (msgId == kInstalledMessage ? log.installed : log.removed).push_back(name);
}

// Names one a line, under the first.
std::string NameLines(const std::vector<std::string> &names)
{
    if (names.empty())
        return "none\n";
    std::string out;
    for (const std::string &n : names)
        out += (out.empty() ? "" : "             ") + n + "\n";
    return out;
}

// The summary of the run: products installed and removed, the messages
// shown with their answers, and the exit code.
std::string Summary(int code)
{
    const RunLog &log = g_state.log;
    std::string s = "cesetup: " + std::string(code == 0 ? "setup finished" : "setup ended") + " (exit code " +
                    std::to_string(code) + ")\n";
    s += "  installed: " + NameLines(log.installed);
    s += "  removed:   " + NameLines(log.removed);
    s += "  messages:  " + (log.messages.empty() ? std::string("none") : std::to_string(log.messages.size())) + "\n";
    for (const std::string &m : log.messages)
        s += "    " + m + "\n";
    return s;
}

// Gives the terminal or host window back; a terminal is then told what
// the run did.
void StopInteractive(int code)
{
    if (!g_ui)
        return;
    g_ui->Stop();
    if (g_ui->PrintsSummary()) {
        std::fputs(Summary(code).c_str(), stdout);
        std::fflush(stdout);
    }
}

void Abort(int code, const std::string &message)
{
    if (g_abort) {
        g_abort(code, message);
        return;
    }
    // The terminal or host window is given back before the message.
    StopInteractive(code);
    ChangesSubscribe(nullptr);
    ProgressEnd();
    std::fprintf(stderr, "cesetup: %s\n", Printable(message).c_str());
    RecordClose();
    TranscriptExit(code);
    TranscriptClose();
    std::fflush(nullptr);
    std::_Exit(code);
}

std::string U8(const std::u16string &s)
{
    return ToUtf8(s);
}

std::string Quote(const std::u16string &s)
{
    return nlohmann::json(U8(s)).dump();
}

bool EqualsIgnoringCase(const std::u16string &a, const std::u16string &b)
{
    return FoldCompare(a, b) == 0;
}

std::u16string WithoutMnemonic(const std::u16string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'&') {
            if (i + 1 < s.size() && s[i + 1] == u'&')
                out.push_back(u'&'), ++i;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

bool IsNumber(const std::string &s, int &v)
{
    if (s.empty() || s.size() > 9)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

// Whether text is fmt with its % placeholders filled in some way: each
// placeholder matches any run of characters.
bool Matches(const char16_t *f, const char16_t *fe, const char16_t *t, const char16_t *te)
{
    while (f < fe) {
        if (*f == u'%') {
            if (f + 1 < fe && f[1] == u'%') {
                if (t == te || *t != u'%')
                    return false;
                f += 2;
                ++t;
                continue;
            }
            // Skip flags, width and size up to the conversion letter.
            const char16_t *q = f + 1;
            while (q < fe && (*q == u'-' || *q == u'0' || *q == u'#' || (*q >= u'1' && *q <= u'9') || *q == u'l' ||
                              *q == u'h'))
                ++q;
            if (q == fe)
                return false;
            f = q + 1;
            for (const char16_t *k = t; k <= te; ++k)
                if (Matches(f, fe, k, te))
                    return true;
            return false;
        }
        if (t == te || *f != *t)
            return false;
        ++f;
        ++t;
    }
    return t == te;
}

// The string-table id of a message box's text, from the last string the
// program loaded (the box is shown before it loads another): -1 when the
// text is not that string with its placeholders filled.
int MessageIdOf(const std::u16string &text)
{
    if (!ResourceLastStringId())
        return -1;
    const std::u16string &fmt = ResourceLastString();
    if (Matches(fmt.data(), fmt.data() + fmt.size(), text.data(), text.data() + text.size()))
        return int(ResourceLastStringId());
    return -1;
}

bool IsMessageBox(HWND dlg)
{
    MessageBoxView box;
    return QueryMessageBox(dlg, box);
}

int ShownId(const WindowView &w)
{
    return (w.id == 0xFFFF || w.id == -1) ? -1 : w.id;
}

// The control a rule names: a number is an id, anything else a caption
// (without '&', case ignored).
HWND FindControl(HWND dlg, const std::string &name, bool captionsOfButtonsOnly)
{
    WindowView d, w;
    if (!QueryWindow(dlg, d))
        return 0;
    int id = 0;
    bool numeric = IsNumber(name, id);
    std::u16string want = FromUtf8(name);
    for (HWND c : d.children) {
        if (!QueryWindow(c, w))
            continue;
        if (numeric && w.id == id)
            return c;
    }
    for (HWND c : d.children) {
        if (!QueryWindow(c, w))
            continue;
        if (captionsOfButtonsOnly && w.kind != BuiltinClass::Button)
            continue;
        if (EqualsIgnoringCase(WithoutMnemonic(w.text), want))
            return c;
    }
    return 0;
}

std::string PageName(int id)
{
    return "page " + std::to_string(id);
}

// The page event: every control with its text as shown.
void WritePageEvent(HWND dlg, const WindowView &d, const DialogView &page)
{
    nlohmann::ordered_json j;
    j["event"] = "page";
    j["id"] = page.resourceId;
    j["title"] = U8(d.text);
    j["modal"] = page.modal;
    nlohmann::ordered_json controls = nlohmann::ordered_json::array();
    WindowView w;
    for (HWND c : d.children) {
        if (!QueryWindow(c, w))
            continue;
        nlohmann::ordered_json cj;
        cj["id"] = ShownId(w);
        cj["class"] = U8(w.className);
        cj["text"] = w.kind == BuiltinClass::ListBox ? std::string() : U8(w.text);
        cj["enabled"] = !(w.style & WS_DISABLED);
        ButtonView button;
        cj["checked"] = QueryButton(c, button) && button.check == BST_CHECKED;
        cj["visible"] = (w.style & WS_VISIBLE) != 0;
        if (w.kind == BuiltinClass::Edit)
            cj["readonly"] = (w.style & ES_READONLY) != 0;
        ListBoxView list;
        if (QueryListBox(c, list)) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (const std::u16string &it : list.items)
                items.push_back(U8(it));
            cj["items"] = items;
            cj["selected"] = list.curSel;
        }
        controls.push_back(cj);
    }
    j["controls"] = controls;
    TranscriptWriteLine(j.dump());
}

void OnCreated(HWND dlg)
{
    WindowView d;
    if (!QueryWindow(dlg, d))
        return;
    MessageBoxView box;
    if (QueryMessageBox(dlg, box)) {
        int key = MessageIdOf(box.text);
        int showing = ++g_state.messageShowings[key];
        Session s;
        s.id = key;
        s.showing = showing;
        s.rule = PickRule(g_state.rules, AnswerRule::Message, key, showing);
        g_state.sessions[dlg] = s;
        g_state.shotsDue = true;
        return;
    }
    DialogView page;
    QueryDialog(dlg, page);
    int id = page.resourceId;
    Session s;
    s.id = id;
    s.eventNumber = TranscriptNextEventNumber();
    WritePageEvent(dlg, d, page);
    if (page.modal) {
        s.showing = ++g_state.pageShowings[id];
        s.rule = PickRule(g_state.rules, AnswerRule::Page, id, s.showing);
    }
    g_state.sessions[dlg] = s;
    g_state.shotsDue = true;
}

std::string RuleName(const AnswerRule &r)
{
    return "rule \"" + r.text + "\"";
}

bool ClickControl(HWND dlg, const Session &s, HWND c, const std::string &action)
{
    if (!c) {
        Abort(3, RuleName(*s.rule) + ": no control for \"" + action + "\" on " + PageName(s.id));
        return false;
    }
    if (!IsWindowEnabled(c) || !IsWindowVisible(c)) {
        Abort(3, RuleName(*s.rule) + ": \"" + action + "\" cannot be done on " + PageName(s.id) +
                     " (the control is disabled or hidden)");
        return false;
    }
    InputClick(c);
    return true;
}

// Performs one page action; false when the run was ended.
bool DoPageAction(HWND dlg, Session &s, const AnswerAction &a)
{
    const std::string &action = a.written;
    auto cannot = [&](const std::string &why) {
        Abort(3, RuleName(*s.rule) + ": \"" + action + "\" cannot be done on " + PageName(s.id) + " (" + why + ")");
        return false;
    };
    switch (a.verb) {
    case AnswerAction::Close: {
        WindowView d;
        if (!QueryWindow(dlg, d) || !(d.style & WS_SYSMENU))
            return cannot("the page has no close box");
        // What a tap on the close box makes.
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    case AnswerAction::Click:
    case AnswerAction::Check: {
        HWND c = FindControl(dlg, a.control, true);
        if (c && a.verb == AnswerAction::Check) {
            WindowView cw;
            DWORD t = QueryWindow(c, cw) ? cw.style & BS_TYPEMASK : 0;
            if (cw.kind != BuiltinClass::Button || (t != BS_AUTORADIOBUTTON && t != BS_RADIOBUTTON))
                return cannot("control " + a.control + " is not a radio button");
        }
        return ClickControl(dlg, s, c, action);
    }
    case AnswerAction::Select: {
        HWND c = FindControl(dlg, a.control, false);
        ListBoxView list;
        if (!QueryListBox(c, list))
            return cannot("no list box " + a.control);
        if (!IsWindowEnabled(c) || !IsWindowVisible(c))
            return cannot("the list box is disabled or hidden");
        int index = a.entry;
        if (index < 0) {
            std::u16string want = FromUtf8(a.text);
            for (size_t i = 0; i < list.items.size(); ++i)
                if (list.items[i] == want) {
                    index = int(i);
                    break;
                }
        }
        POINT pt;
        if (index < 0 || !ListBoxItemPoint(c, index, pt))
            return cannot("no entry " + a.text);
        LPARAM at = MAKELPARAM(pt.x, pt.y);
        PostMessageW(c, WM_LBUTTONDOWN, 0x0001, at);
        PostMessageW(c, WM_LBUTTONUP, 0, at);
        return true;
    }
    case AnswerAction::Set: {
        HWND c = FindControl(dlg, a.control, false);
        WindowView cw;
        if (!QueryWindow(c, cw) || cw.kind != BuiltinClass::Edit)
            return cannot("no edit " + a.control);
        if ((cw.style & ES_READONLY) || !IsWindowEnabled(c) || !IsWindowVisible(c))
            return cannot("the edit is read-only or disabled");
        // Select everything and replace it at once: one EN_CHANGE.
        SetFocus(c);
        SendMessageW(c, EM_SETSEL, 0, -1);
        std::u16string text = FromUtf8(a.text);
        SendMessageW(c, EM_REPLACESEL, TRUE, LPARAM(text.c_str()));
        return true;
    }
    case AnswerAction::Answer:
        break;
    }
    return cannot("a page takes no \"answer\"");
}

// Notes an action whose last value is all that counts: moving through a
// list with the arrows, or typing, gives one action with the final value.
void NoteLatest(Session &s, const std::string &prefix, const std::string &value)
{
    if (!s.seen.empty() && s.seen.back().compare(0, prefix.size(), prefix) == 0)
        s.seen.back() = prefix + value;
    else
        s.seen.push_back(prefix + value);
}

// A page's command, noted as the action that replays it: a button's click
// (a radio button's as "check"), a list's new selection by its number, an
// edit's new text (typing makes one "set" with the last text).
void OnCommand(HWND dlg, WPARAM wParam, LPARAM lParam)
{
    DialogView page;
    auto it = g_state.sessions.find(dlg);
    if (!QueryDialog(dlg, page) || it == g_state.sessions.end() || IsMessageBox(dlg) || !page.modal)
        return;
    Session &s = it->second;
    int id = LOWORD(wParam), code = HIWORD(wParam);
    HWND c = HWND(lParam);
    if (!c) {
        // Enter or Escape without a button of that id.
        if (code == BN_CLICKED)
            s.seen.push_back(id == IDCANCEL ? "close" : "click " + std::to_string(id));
        return;
    }
    WindowView cw;
    if (!QueryWindow(c, cw) || cw.parent != dlg || ShownId(cw) < 0)
        return;
    std::string ctl = std::to_string(ShownId(cw));
    if (cw.kind == BuiltinClass::Button && code == BN_CLICKED) {
        DWORD t = cw.style & BS_TYPEMASK;
        bool radio = t == BS_AUTORADIOBUTTON || t == BS_RADIOBUTTON;
        s.seen.push_back((radio ? "check " : "click ") + ctl);
    } else if (ListBoxView list; code == LBN_SELCHANGE && QueryListBox(c, list) && list.curSel >= 0) {
        NoteLatest(s, "select " + ctl + " ", "#" + std::to_string(list.curSel));
    } else if (cw.kind == BuiltinClass::Edit && code == EN_CHANGE) {
        NoteLatest(s, "set " + ctl + " ", QuoteActionWord(U8(cw.text)));
    }
}

// The answer a message box's result stands for, or "" for none.
const char *AnswerName(INT_PTR result)
{
    switch (result) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "";
    }
}

// The position of the progress bar of a page shown while work is done, or
// -1 when none is shown.
int ProgressPercent()
{
    for (const auto &kv : g_state.sessions) {
        WindowView d, w;
        DialogView page;
        if (!QueryWindow(kv.first, d) || !QueryDialog(kv.first, page) || page.modal || IsMessageBox(kv.first))
            continue;
        for (HWND c : d.children) {
            if (QueryWindow(c, w) && FoldCompare(w.className, u"msctls_progress32") == 0)
                return int(SendMessageW(c, PBM_GETPOS, 0, 0));
        }
    }
    return -1;
}

void ShowProgress(const DeviceChange &c)
{
    int pct = ProgressPercent();
    char head[32];
    std::snprintf(head, sizeof head, "progress %3d%% ", pct < 0 ? 0 : pct);
    std::string line = head + U8(c.path);
    if (g_progress.terminal) {
        std::fprintf(stderr, "\r%s\x1b[K", Printable(line).c_str());
        g_progress.lineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", Printable(line).c_str());
    }
    std::fflush(stderr);
}

// Every change the device's calls make becomes a transcript event.
void OnChange(const DeviceChange &c)
{
    // Without a transcript the event is only counted (a removal or an
    // install makes one for each file).
    if (TranscriptIsOpen()) {
        nlohmann::ordered_json j;
        j["event"] = "change";
        j["op"] = ChangeOpName(c.op);
        if (c.op <= DeviceChange::Rmdir) {
            j["path"] = U8(c.path);
            if (c.op == DeviceChange::Create || c.op == DeviceChange::Replace)
                j["bytes"] = c.bytes;
        } else {
            j["key"] = U8(c.key);
            if (c.op == DeviceChange::ValueSet || c.op == DeviceChange::ValueDelete)
                j["value"] = U8(c.value);
        }
        TranscriptWriteLine(j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    } else {
        TranscriptCountEvent();
    }
    if (g_progress.on && (c.op == DeviceChange::Create || c.op == DeviceChange::Replace))
        ShowProgress(c);
}

void ProgressEnd()
{
    if (g_progress.lineOpen)
        std::fputc('\n', stderr);
    g_progress = Progress{};
}

bool OnIdle(HWND dlg)
{
    if (!dlg)
        return false;
    WindowView d;
    auto it = g_state.sessions.find(dlg);
    if (!QueryWindow(dlg, d) || it == g_state.sessions.end())
        return false;
    Session &s = it->second;
    if (g_ui && (!s.rule || s.next >= s.rule->actions.size())) {
        // No rule action left: the user answers.
        if (HostApplyClose(dlg))
            return true;
        return g_ui->WaitInput(dlg);
    }
    MessageBoxView box;
    if (QueryMessageBox(dlg, box)) {
        if (!s.rule) {
            std::string id = s.id >= 0 ? "message " + std::to_string(s.id) : std::string("a message");
            Abort(3, "no answer for " + id + ": " + Quote(box.text));
            return false;
        }
        if (s.next >= s.rule->actions.size()) {
            Abort(3, RuleName(*s.rule) + ": the message is still open after its answer");
            return false;
        }
        const AnswerAction &action = s.rule->actions[s.next++];
        HWND btn = FindControl(dlg, action.control, true);
        if (!btn) {
            Abort(3, RuleName(*s.rule) + ": the message has no button " + action.control + ": " + Quote(box.text));
            return false;
        }
        s.done.push_back(action.written);
        InputClick(btn);
        return true;
    }
    if (!s.rule) {
        Abort(3, "no answer for " + PageName(s.id) + " " + Quote(d.text));
        return false;
    }
    if (s.next >= s.rule->actions.size()) {
        Abort(3, RuleName(*s.rule) + ": " + PageName(s.id) + " is still open after its actions");
        return false;
    }
    const AnswerAction action = s.rule->actions[s.next++];
    s.done.push_back(action.written);
    return DoPageAction(dlg, s, action);
}

// The setup program's messages that report a failed turn, a setup that
// could not start, or nothing found: 205/206/208 end a failed turn, 215
// nothing found, 207/222 a setup that could not run, 221 a language
// script that could not be prepared (its turn ends without 205).
bool IsFailureMessage(int id)
{
    switch (id) {
    case 205: case 206: case 207: case 208: case 215: case 221: case 222:
        return true;
    default:
        return false;
    }
}

// Exit (IDCANCEL, also the close box) on these pages ends the whole
// wizard; on the removal list (111) it only skips the product.
bool IsWizardPage(int id)
{
    return id == 104 || id == 105 || id == 106 || id == 107 || id == 108 || id == 112;
}

void NoteOutcome(HWND dlg, const Session &s, INT_PTR result)
{
    DialogView page;
    if (IsMessageBox(dlg)) {
        if (IsFailureMessage(s.id))
            g_state.outcome.failed = true;
    } else if (QueryDialog(dlg, page) && page.modal && result == IDCANCEL && IsWizardPage(page.resourceId)) {
        g_state.outcome.endedEarly = true;
    }
}

void OnEnded(HWND dlg, INT_PTR result)
{
    WindowView d;
    auto it = g_state.sessions.find(dlg);
    if (!QueryWindow(dlg, d) || it == g_state.sessions.end())
        return;
    Session s = it->second;
    g_state.sessions.erase(it);
    NoteOutcome(dlg, s, result);
    MessageBoxView box;
    if (QueryMessageBox(dlg, box)) {
        int msgId = s.id;
        NoteMessage(box, msgId, result);
        nlohmann::ordered_json j;
        j["event"] = "message";
        if (msgId >= 0)
            j["id"] = msgId;
        j["flags"] = box.type;
        j["caption"] = U8(d.text);
        j["text"] = U8(box.text);
        j["result"] = result;
        TranscriptWriteLine(j.dump());
        std::string answer = AnswerName(result);
        if (msgId < 0)
            RecordLine("# a message without a string-table id was answered " + (answer.empty() ? "?" : answer));
        else if (!answer.empty())
            RecordLine("message " + std::to_string(s.id) + "#" + std::to_string(s.showing) + ": answer " + answer);
        return;
    }
    DialogView page;
    if (!QueryDialog(dlg, page) || !page.modal)
        return;
    if (!s.seen.empty()) {
        std::string line = "page " + std::to_string(s.id) + "#" + std::to_string(s.showing) + ":";
        for (size_t i = 0; i < s.seen.size(); ++i)
            line += (i ? "; " : " ") + s.seen[i];
        RecordLine(line);
    }
    // The interactive front ends report what reached the page, whoever did
    // it (a rule or the user); the unattended one its rule's actions.
    if (g_ui ? s.seen.empty() : !s.rule)
        return;
    nlohmann::ordered_json j;
    j["event"] = "answer";
    j["id"] = s.id;
    j["actions"] = g_ui ? s.seen : s.done;
    j["result"] = result;
    TranscriptWriteLine(j.dump());
    if (!g_ui && s.next < s.rule->actions.size()) {
        std::string left;
        for (size_t i = s.next; i < s.rule->actions.size(); ++i)
            left += (left.empty() ? "" : "; ") + s.rule->actions[i].written;
        Abort(3, RuleName(*s.rule) + ": " + PageName(s.id) + " ended before \"" + left + "\"");
    }
}

// How far the visible progress bar of a page has gone: 0 not moved, 1
// moved, 2 half-way or more; -1 when the page has none.
int BarStage(const WindowView &d)
{
    WindowView w;
    for (HWND c : d.children) {
        if (QueryWindow(c, w) && w.kind == BuiltinClass::Progress && (w.style & WS_VISIBLE)) {
            PBRANGE range{};
            SendMessageW(c, PBM_GETRANGE, 0, LPARAM(&range));
            int pos = int(SendMessageW(c, PBM_GETPOS, 0, 0));
            return pos <= range.iLow ? 0 : (pos - range.iLow) * 2 < range.iHigh - range.iLow ? 1 : 2;
        }
    }
    return -1;
}

// A dialog has been drawn for the first time since its session asked.
void OnDrawn(HWND dlg, Session &s)
{
    if (g_state.screenshotsDir.empty())
        return;
    WindowView d;
    if (!QueryWindow(dlg, d))
        return;
    // A progress page is taken at once, and taken again under the same name
    // when its bar has moved and when it is half-way: the picture then shows
    // the work (a file, the bar part-way), and a page that closes early
    // still has one.
    bool box = IsMessageBox(dlg);
    DialogView page;
    QueryDialog(dlg, page);
    if (!box && !page.modal) {
        int stage = BarStage(d);
        if (stage >= 0) {
            if (stage < 2) {
                s.shotPending = true;
                g_state.shotsDue = true;
            }
            if (stage <= s.shotStage)
                return;
            s.shotStage = stage;
        }
    }
    char name[64];
    if (box) {
        int n = TranscriptNextEventNumber();
        if (s.id >= 0)
            std::snprintf(name, sizeof name, "%03d-message-%d.png", n, s.id);
        else
            std::snprintf(name, sizeof name, "%03d-message-none.png", n);
    } else {
        std::snprintf(name, sizeof name, "%03d-page-%d.png", s.eventNumber, page.resourceId);
    }
    std::string error;
    if (!ScreenSavePng(g_state.screenshotsDir + "/" + name, error))
        std::fprintf(stderr, "cesetup: screenshot: %s\n", error.c_str());
}

// Everything is painted: each dialog waiting to be seen drawn that can now
// be seen is, from the bottom of the Z order up.
void OnPainted()
{
    if (!g_state.shotsDue)
        return;
    bool waiting = false;
    for (const auto &kv : g_state.sessions)
        waiting = waiting || kv.second.shotPending;
    g_state.shotsDue = waiting;
    if (!waiting)
        return;
    for (HWND h : WindowTopLevels()) {
        auto it = g_state.sessions.find(h);
        if (it == g_state.sessions.end() || !it->second.shotPending || !IsWindowVisible(h))
            continue;
        it->second.shotPending = false;
        OnDrawn(h, it->second);
    }
}

void InstallHooks()
{
    UiHooks h;
    h.idle = OnIdle;
    h.dialogCreated = OnCreated;
    h.dialogEnded = OnEnded;
    h.drawn = OnPainted;
    h.dialogCommand = OnCommand;
    if (g_ui)
        h.poll = [] {
            if (g_ui)
                g_ui->Poll();
        };
    SetUiHooks(h);
    g_state.started = true;
}

bool LoadRules(const UiOptions &o, std::vector<AnswerRule> &rules, std::string &error)
{
    int order = 0;
    auto add = [&](const std::string &line, const std::string &where) {
        AnswerRule r;
        bool isRule;
        std::string why;
        if (!ParseAnswerRule(line, r, isRule, why)) {
            error = Printable(where + ": " + why);
            return false;
        }
        if (isRule) {
            r.order = order++;
            rules.push_back(r);
        }
        return true;
    };
    if (!o.answersFile.empty()) {
        std::vector<std::string> lines;
        if (!ReadHostTextFile(o.answersFile, kAnswersMaxBytes, kAnswerRuleMaxBytes, lines, error))
            return false;
        int n = 0;
        for (const std::string &line : lines) {
            ++n;
            if (!add(line, o.answersFile + " line " + std::to_string(n)))
                return false;
        }
    }
    for (const std::string &r : o.answerRules) {
        if (r.find('\n') != std::string::npos) {
            error = "--answer \"" + r + "\": one rule per option";
            return false;
        }
        if (!add(r, "--answer \"" + r + "\""))
            return false;
    }
    return true;
}

} // namespace

void FrontendEnsureHooks()
{
    // Hooks set by a test (or a front end) are kept.
    if (!g_state.started && !GetUiHooks().idle)
        InstallHooks();
}

void FrontendsAttach()
{
    SetUiHooksFallback(FrontendEnsureHooks);
    DeviceAddResetStep([] { UiShutdown(); });
}

namespace {
// Linking the front ends attaches them (the loader and the tests call it
// as well, to say so).
const bool g_attached = (FrontendsAttach(), true);
} // namespace

void FrontendSetAbort(FrontendAbort abort)
{
    g_abort = std::move(abort);
}

// auto: gui with a display, else tui on terminals, else none.
static UiMode ChooseMode(UiMode asked)
{
    if (asked != UiMode::Auto)
        return asked;
    const char *display = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display && *display) || (wayland && *wayland))
        return UiMode::Gui;
    if (isatty(0) && isatty(1))
        return UiMode::Tui;
    return UiMode::None;
}

bool UiInit(const UiOptions &options, std::string &error)
{
    UiMode mode = ChooseMode(options.mode);
    if (options.scale < 1 || options.scale > 8) {
        error = "--scale " + std::to_string(options.scale) + " is not between 1 and 8";
        return false;
    }
    std::vector<AnswerRule> rules;
    if (!LoadRules(options, rules, error))
        return false;
    if (!options.screenshotsDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.screenshotsDir, ec);
        if (!std::filesystem::is_directory(options.screenshotsDir, ec)) {
            error = "cannot make the screenshots folder " + options.screenshotsDir;
            return false;
        }
    }
    if (g_ui) {
        g_ui->Stop();
        g_ui.reset();
    }
    HostInputReset();
    while (mode == UiMode::Gui || mode == UiMode::Tui) {
        std::unique_ptr<InteractiveFrontend> ui =
            mode == UiMode::Gui ? MakeGuiFrontend(options.scale) : MakeTuiFrontend();
        if (ui->Start(error)) {
            g_ui = std::move(ui);
            break;
        }
        if (options.mode != UiMode::Auto)
            return false;
        // auto: a display that cannot be opened is no display.
        error.clear();
        mode = mode == UiMode::Gui && isatty(0) && isatty(1) ? UiMode::Tui : UiMode::None;
    }
    RecordClose();
    if (!options.recordFile.empty()) {
        g_record = std::fopen(options.recordFile.c_str(), "w");
        g_recordPath = options.recordFile;
        if (!g_record) {
            error = "cannot write the answers record " + options.recordFile + " (check the folder exists and is writable)";
            if (g_ui) {
                g_ui->Stop();
                g_ui.reset();
            }
            return false;
        }
        RecordLine("# answers recorded by cesetup; replay with: cesetup --ui none --answers FILE");
    }
    g_state = State{};
    g_state.rules = std::move(rules);
    g_progress = Progress{};
    g_progress.terminal = isatty(2);
    g_progress.on = options.progress < 0 ? (g_progress.terminal && !g_ui) : options.progress == 1;
    ChangesSubscribe(OnChange);
    g_state.screenshotsDir = options.screenshotsDir;
    InstallHooks();
    return true;
}

int UiExitCode()
{
    if (g_state.outcome.failed)
        return 1;
    return g_state.outcome.endedEarly ? 4 : 0;
}

void UiShutdown(int exitCode)
{
    SetUiHooks(UiHooks{});
    StopInteractive(exitCode);
    g_ui.reset();
    ChangesSubscribe(nullptr);
    ProgressEnd();
    RecordClose();
    g_state = State{};
    HostInputReset();
}

} // namespace plat
