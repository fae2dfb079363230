// answers_test.cpp - the unattended front end: rule parsing and
// specificity, pages and message boxes answered through user input, the
// transcript's page / answer / message events, and the runs that must end
// with exit code 3.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "helpers/e2ekit.h"
#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "frontends/frontend.h"
#include "frontends/frontend_internal.h"
#include "device/transcript.h"
#include "user/window.h"

namespace {

using nlohmann::json;

const auto kPage = plat::AnswerRule::Page, kMessage = plat::AnswerRule::Message;

// Parses LINE into R; the reason when it is refused, else "".
std::string Parse(const std::string &line, plat::AnswerRule &r, bool *isRule = nullptr)
{
    bool rule = false;
    std::string error;
    if (!plat::ParseAnswerRule(line, r, isRule ? *isRule : rule, error) && error.empty())
        return "<refused without a reason>";
    return error;
}

// Each line is nothing, a rule (its selector, the actions as written, and
// the first action's verb, control, text and list entry), or refused with a
// reason; refusals come when the rule is read, not when it is used.
TEST(AnswerRules, ParsesSelectorsAndActionsOrRefusesWithAReason)
{
    using A = plat::AnswerAction;
    struct Case {
        const char *line;
        const char *refusal; // a part of the reason; nullptr: a rule or nothing
        plat::AnswerRule::Kind kind;
        int id, showing; // id 0: no rule
        std::vector<std::string> actions;
        A::Verb verb;
        const char *control, *text;
        int entry;
    } cases[] = {
        {"", nullptr, kPage, 0, 0, {}},
        {"page 104#2: set 1006 \"\\Program Files\\A; B\"; click 1", nullptr, kPage, 104, 2,
         {"set 1006 \"\\Program Files\\A; B\"", "click 1"}, A::Set, "1006", "\\Program Files\\A; B", -1},
        {"message *: answer Cancel", nullptr, kMessage, -1, 0, {"answer Cancel"}, A::Answer, "Cancel", "", -1},
        {"page 105: CLICK \"Continue\"", nullptr, kPage, 105, 0, {"CLICK \"Continue\""}, A::Click, "Continue", "", -1},
        {"page 106: check 1012", nullptr, kPage, 106, 0, {"check 1012"}, A::Check, "1012", "", -1},
        {"page 104: set 1006 \"\\Program Files\\My \"\"A\"\"\"", nullptr, kPage, 104, 0,
         {"set 1006 \"\\Program Files\\My \"\"A\"\"\""}, A::Set, "1006", "\\Program Files\\My \"A\"", -1},
        {"page 104: set 1006 two words", nullptr, kPage, 104, 0, {"set 1006 two words"}, A::Set, "1006", "two words", -1},
        {"page 112: select 1014 #3", nullptr, kPage, 112, 0, {"select 1014 #3"}, A::Select, "1014", "#3", 3},
        {"page 112: select 1014 Russian", nullptr, kPage, 112, 0, {"select 1014 Russian"}, A::Select, "1014",
         "Russian", -1},
        {"page 108: close", nullptr, kPage, 108, 0, {"close"}, A::Close, "", "", -1},
        {"message 219: answer cancel", nullptr, kMessage, 219, 0, {"answer cancel"}, A::Answer, "Cancel", "", -1},
        {"page 105 click 1", "no ':'"},
        {"page 105: press 1", "unknown action"},
        {"page 104: set 1006 \"open", "unclosed double quote"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        plat::AnswerRule r;
        bool isRule = true;
        std::string error = Parse(c.line, r, &isRule);
        if (c.refusal) {
            EXPECT_NE(error, "") << "refused";
            EXPECT_NE(error.find(c.refusal), std::string::npos) << "the reason given: " << error;
            continue;
        }
        ASSERT_EQ(error, "");
        EXPECT_EQ(isRule, c.id != 0);
        if (!c.id)
            continue;
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.id, c.id);
        EXPECT_EQ(r.showing, c.showing);
        std::vector<std::string> written;
        for (const plat::AnswerAction &a : r.actions)
            written.push_back(a.written);
        ASSERT_EQ(written, c.actions);
        EXPECT_EQ(r.actions[0].verb, c.verb);
        EXPECT_EQ(r.actions[0].control, c.control);
        if (c.verb == A::Set || c.verb == A::Select) {
            EXPECT_EQ(r.actions[0].text, c.text);
        }
        EXPECT_EQ(r.actions[0].entry, c.entry);
    }
}

TEST(AnswerRules, RecordedTextsReadBackUnchanged)
{
    for (const char *text : {"plain", "", "two words", "a\"quote", "semi;colon", "#1", "\\Program Files\\x # y"}) {
        std::string line = std::string("page 104: set 1006 ") + plat::QuoteActionWord(text) + "; click 1";
        SCOPED_TRACE(line);
        plat::AnswerRule r;
        ASSERT_EQ(Parse(line, r), "");
        ASSERT_EQ(r.actions.size(), 2u);
        EXPECT_EQ(r.actions[0].text, text);
    }
}

TEST(AnswerRules, MostSpecificRuleWinsAndTheLastOfEquals)
{
    std::vector<plat::AnswerRule> rules;
    for (const char *line : {"page 105: click 1", "page 105#2: click 2", "page 105: click 3", "message *: answer OK",
                             "message 216: answer Cancel", "message *: answer Yes"}) {
        rules.emplace_back();
        ASSERT_EQ(Parse(line, rules.back()), "");
    }
    auto pick = [&](plat::AnswerRule::Kind k, int id, int n) {
        const plat::AnswerRule *r = plat::PickRule(rules, k, id, n);
        return r ? r->actions[0].written : std::string("none");
    };
    EXPECT_EQ(pick(kPage, 105, 1), "click 3") << "last of the equally specific rules";
    EXPECT_EQ(pick(kPage, 105, 2), "click 2") << "a showing number beats a plain id";
    EXPECT_EQ(pick(kPage, 106, 1), "none");
    EXPECT_EQ(pick(kMessage, 216, 1), "answer Cancel") << "an id beats *";
    EXPECT_EQ(pick(kMessage, 205, 1), "answer Yes") << "the last * rule";
}

// ------------------------------------------------------------ whole runs

struct Aborted {
    int code = 0;
    std::string message;
};

std::vector<int> g_commands;
int g_enChanges = 0;
bool g_boxOnSkip = false;

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        // The language page's Install waits for a selection, as the wizard's does.
        if (GetDlgItem(dlg, 1014)) {
            for (const char16_t *s : {u"English", u"German", u"French"})
                SendDlgItemMessageW(dlg, 1014, LB_ADDSTRING, 0, LPARAM(s));
            EnableWindow(GetDlgItem(dlg, 1), FALSE);
        }
        if (GetDlgItem(dlg, 1006))
            SendDlgItemMessageW(dlg, 1006, EM_SETREADONLY, FALSE, 0);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == 1006 && code == EN_CHANGE) {
        ++g_enChanges;
        return TRUE;
    }
    if (id == 1014 && code == LBN_SELCHANGE)
        EnableWindow(GetDlgItem(dlg, 1), TRUE);
    if (code != BN_CLICKED)
        return TRUE;
    g_commands.push_back(id);
    if (id == 1013 && g_boxOnSkip) {
        // A message caused by the page's action; the page goes on after it.
        if (MessageBoxW(dlg, u"Really skip?", u"Setup", MB_YESNO | MB_ICONQUESTION) == IDNO)
            return TRUE;
    }
    if (id == 1 || id == 2 || id == 1013)
        EndDialog(dlg, id);
    return TRUE;
}

class Answers : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_commands.clear();
        g_enChanges = 0;
        g_boxOnSkip = false;
        aborted = Aborted{};
        transcript = root.path + "/t.jsonl";
        std::string error;
        ASSERT_TRUE(plat::TranscriptOpen(transcript, error)) << error;
        plat::FrontendSetAbort([this](int code, const std::string &m) {
            if (!aborted.code)
                aborted = Aborted{code, m};
        });
    }
    void TearDown() override
    {
        plat::UiShutdown();
        plat::FrontendSetAbort(nullptr);
        plat::TranscriptClose();
        DeviceFixture::TearDown();
    }
    void Init(std::vector<std::string> rules, const std::string &screenshots = "")
    {
        plat::UiOptions o;
        o.mode = plat::UiMode::None;
        o.answerRules = std::move(rules);
        o.screenshotsDir = screenshots;
        std::string error;
        ASSERT_TRUE(plat::UiInit(o, error)) << error;
    }
    static const DLGTEMPLATE *Template(int id)
    {
        HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
        return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(0, r)));
    }
    INT_PTR Page(int id)
    {
        return DialogBoxIndirectParamW(plat::kProgramInstance, Template(id), 0, PageProc, 0);
    }
    std::vector<json> Lines()
    {
        std::string error;
        std::vector<json> out = e2e::ReadJsonLines(transcript, &error);
        EXPECT_EQ(error, "") << "the transcript is JSON Lines";
        return out;
    }
    Aborted aborted;
    std::string transcript;
};

TEST_F(Answers, PageAnsweredByCaptionAndShowingIsRecorded)
{
    Init({"page 105: click continue", "page 105#2: click Exit"});
    EXPECT_EQ(Page(105), 1);
    EXPECT_EQ(aborted.code, 0) << aborted.message;
    EXPECT_EQ(g_commands, std::vector<int>{1});
    std::vector<json> t = Lines();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0]["event"], "page");
    EXPECT_EQ(t[0]["id"], 105);
    EXPECT_EQ(t[0]["title"], "Welcome!");
    EXPECT_EQ(t[0]["modal"], true);
    ASSERT_EQ(t[0]["controls"].size(), 6u);
    EXPECT_EQ(t[0]["controls"][0], json::parse(R"({"id":1,"class":"Button","text":"&Continue","enabled":true,)"
                                                R"("checked":false,"visible":true})"));
    EXPECT_EQ(t[0]["controls"][3]["id"], -1) << "a control without an id";
    EXPECT_EQ(t[1], json::parse(R"({"event":"answer","id":105,"actions":["click continue"],"result":1})"));
    EXPECT_EQ(Page(105), 2) << "the second showing has its own rule";
    EXPECT_EQ(Page(105), 1) << "the third has the plain one again";
}

// A progress page is photographed when first drawn, and again under the
// same name when its bar has moved and when it is half-way, never more.
TEST_F(Answers, ProgressPageIsPhotographedWithItsWorkUnderWay)
{
    std::string dir = root.path + "/shots";
    Init({}, dir);
    HWND page = CreateDialogIndirectParamW(plat::kProgramInstance, Template(103), 0, PageProc, 0);
    ASSERT_NE(page, HWND(0));
    HWND bar = GetDlgItem(page, 1001);
    std::string shot = dir + "/001-page-103.png", last;
    struct Step {
        int pos;
        bool taken;
    } steps[] = {{0, true}, {0, false}, {10, true}, {30, false}, {50, true}, {90, false}};
    for (const Step &st : steps) {
        SCOPED_TRACE(st.pos);
        SendMessageW(bar, 0x0402 /* PBM_SETPOS */, WPARAM(st.pos), 0);
        SetDlgItemTextW(page, 1007, (u"Copying file: part" + std::u16string(1, char16_t(u'0' + st.pos / 10))).c_str());
        plat::PumpPending();
        std::string now = cetest::ReadHostFile(shot);
        EXPECT_FALSE(now.empty()) << "the picture exists from the first drawing on";
        EXPECT_EQ(now != last, st.taken) << "taken (again) at this drawing";
        last = now;
    }
    DestroyWindow(page);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1)
        << "one picture of the page";
}

TEST_F(Answers, ListAndEditActionsGoThroughTheControls)
{
    Init({"page 112: select 1014 German; click Install", "page 104: set 1006 \"\\Program Files\\My App\"; click 1"});
    EXPECT_EQ(Page(112), 1) << "select sent LBN_SELCHANGE, which enabled Install";
    EXPECT_EQ(aborted.code, 0) << aborted.message;
    g_enChanges = 0;
    EXPECT_EQ(Page(104), 1);
    EXPECT_EQ(aborted.code, 0) << aborted.message;
    EXPECT_EQ(g_enChanges, 1) << "set sends exactly one EN_CHANGE";
    std::vector<json> t = Lines();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0]["controls"][0]["items"], json::parse(R"(["English","German","French"])"));
    EXPECT_EQ(t[0]["controls"][0]["selected"], -1);
    EXPECT_EQ(t[2]["controls"][0]["readonly"], false);
}

TEST_F(Answers, MessageEventsComeInOrderWithTheirStringTableId)
{
    g_boxOnSkip = true;
    Init({"page 105: click Skip; click Exit", "message *: answer No", "message 216: answer OK"});
    EXPECT_EQ(Page(105), 2) << "No kept the page; Exit ended it";
    EXPECT_EQ(g_commands, (std::vector<int>{1013, 2}));
    WCHAR fmt[256], text[512];
    ASSERT_GT(LoadStringW(plat::kProgramInstance, 216, fmt, 256), 0);
    wsprintfW(text, fmt, u"Dravex", u"Enjoy.");
    EXPECT_EQ(MessageBoxW(0, text, u"Setup", MB_ICONASTERISK), IDOK);
    EXPECT_EQ(aborted.code, 0) << aborted.message;
    std::vector<json> t = Lines();
    std::vector<std::string> events;
    for (const json &j : t)
        events.push_back(j["event"]);
    ASSERT_EQ(events, (std::vector<std::string>{"page", "message", "answer", "message"}))
        << "a message caused by an action comes before the answer";
    EXPECT_EQ(t[1], json::parse(R"({"event":"message","flags":36,"caption":"Setup","text":"Really skip?",)"
                                R"("result":7})"))
        << "MB_YESNO | MB_ICONQUESTION answered IDNO; no string-table id for a text that was not loaded";
    EXPECT_EQ(t[2]["actions"], json::parse(R"(["click Skip","click Exit"])"));
    EXPECT_EQ(t[3], json::parse(R"({"event":"message","id":216,"flags":64,"caption":"Setup",)"
                                R"("text":"\"Dravex\" has been successfully installed.\nEnjoy.","result":1})"));
}

// A page or message (page 0) without a rule, or a rule that cannot be
// carried out, ends the run with code 3 and a message naming it.
TEST_F(Answers, UnansweredOrImpossibleEndsTheRunWithCode3)
{
    struct Case {
        int page;
        const char *rule;
        const char *said;
    } cases[] = {
        {105, nullptr, "page 105"},
        {0, nullptr, "Anything?"},
        {105, "page 105: click Nope", "page 105: click Nope"},
        {112, "page 112: click Install", "disabled"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.said);
        aborted = Aborted{};
        plat::UiShutdown();
        Init(c.rule ? std::vector<std::string>{c.rule} : std::vector<std::string>{});
        if (c.page)
            Page(c.page);
        else
            MessageBoxW(0, u"Anything?", u"Setup", MB_OK);
        EXPECT_EQ(aborted.code, 3);
        EXPECT_NE(aborted.message.find(c.said), std::string::npos) << aborted.message;
    }
}

TEST_F(Answers, AnswersFileAndOptions)
{
    plat::UiOptions o;
    std::string error;
    o.mode = plat::UiMode::None;
    o.answersFile = root.path + "/answers.txt";
    cetest::WriteHostFile(o.answersFile, "# answers\npage 105: click 1\n\nmessage 216 answer OK\n");
    EXPECT_FALSE(plat::UiInit(o, error));
    EXPECT_NE(error.find("answers.txt line 4"), std::string::npos) << "names the file and line: " << error;

    o.answersFile = root.path + "/answers.txt";
    cetest::WriteHostFile(o.answersFile, "page 105: click Skip\r\n");
    o.answerRules = {"page 105: click Exit"};
    ASSERT_TRUE(plat::UiInit(o, error)) << error;
    EXPECT_EQ(Page(105), 2) << "an --answer rule comes after the file's and wins";
}

} // namespace
