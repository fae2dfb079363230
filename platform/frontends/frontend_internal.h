// frontend_internal.h - pieces shared by the front ends and the transcript.
#ifndef CE_PLATFORM_FRONTEND_INTERNAL_H
#define CE_PLATFORM_FRONTEND_INTERNAL_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "windef.h"

namespace plat {

// Writes the device screen as a PNG file. False with a message on failure.
bool ScreenSavePng(const std::string &path, std::string &error);

// Installs the unattended front end's hooks when no front end has been
// started (a page shown by a test without UiInit is then unanswered).
void FrontendEnsureHooks();

// How the unattended front end ends the run (exit code 3 or 2, one line
// on stderr). Tests replace it to observe the ending without exiting.
using FrontendAbort = std::function<void(int code, const std::string &message)>;
void FrontendSetAbort(FrontendAbort abort);

// One action of a rule, parsed once when the rules are read.
struct AnswerAction {
    enum Verb { Click, Check, Select, Set, Close, Answer } verb = Click;
    std::string control; // click/check/select/set: an id or a caption; answer: OK, Cancel, Yes or No
    std::string text;    // select/set: the entry or the new text
    int entry = -1;      // select #N: N (text is then unused)
    std::string written; // the action as written, for the transcript and for messages
};

// One answer rule, parsed.
struct AnswerRule {
    enum Kind { Page, Message } kind = Page;
    int id = -1;        // -1: "message *"
    int showing = 0;    // N of "#N"; 0 when not given
    std::vector<AnswerAction> actions;
    std::string text;   // the rule as written (for messages naming it)
    int order = 0;      // position among all rules
};

// Parses one rule line ("" for blank or comment lines gives no rule).
// False with a message when the line is not a rule.
// Limits of answer rules: one rule (a line of the file or an --answer) and
// the whole answers file.
constexpr size_t kAnswerRuleMaxBytes = 4096;
constexpr size_t kAnswersMaxBytes = 1024 * 1024;

bool ParseAnswerRule(const std::string &line, AnswerRule &rule, bool &isRule, std::string &error);

// The rule that answers a page or message, by specificity (a showing
// number beats a plain id, which beats "message *"); of equals the last.
const AnswerRule *PickRule(const std::vector<AnswerRule> &rules, AnswerRule::Kind kind, int id, int showing);

// Splits an action into words; a double-quoted word may hold spaces.
bool SplitAction(const std::string &action, std::vector<std::string> &words, std::string &error);

// Writes a text as an action word that SplitAction reads back unchanged:
// in double quotes (a quote doubled) when it is empty or holds a blank, a
// quote, ';' or '#'.
std::string QuoteActionWord(const std::string &text);

// An interactive front end (gui, tui): it shows the screen and gives the
// user's input whenever a modal page or message box waits and no answer
// rule has an action left for it. The transcript and screenshots are the
// unattended front end's, whichever front end runs.
class InteractiveFrontend {
public:
    virtual ~InteractiveFrontend() = default;
    // Opens the host window or terminal. False with a message.
    virtual bool Start(std::string &error) = 0;
    // dlg waits for input: show it, wait for the user and post the window
    // messages of their input. False only when no input can ever come (the
    // host display or terminal is gone); the dialog is then closed.
    virtual bool WaitInput(HWND dlg) = 0;
    // Work goes on behind a modeless page: show progress, keep the host
    // window responsive, without waiting.
    virtual void Poll() = 0;
    // Closes the host window or gives the terminal back.
    virtual void Stop() = 0;
    // Whether the run's summary is printed on standard output after Stop
    // (a terminal that was given back).
    virtual bool PrintsSummary() const { return false; }
};

std::unique_ptr<InteractiveFrontend> MakeTuiFrontend();
std::unique_ptr<InteractiveFrontend> MakeGuiFrontend(int scale);

} // namespace plat

#endif
