// answers.cpp - the answer rules: parsing a rule line once into typed
// actions, and choosing the rule for a page or message by specificity.
//
//     page 105: click Continue
//     page 104#2: set 1006 "\Program Files\Dravex"; click 1
//     message 219: answer OK
//     message *: answer Cancel
//
// '#' starts a comment (outside double quotes); blank lines are ignored.
#include <cctype>
#include <string>

#include "frontends/frontend_internal.h"

namespace plat {
namespace {

std::string Trim(const std::string &s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

bool ParseNumber(const std::string &s, int &out)
{
    if (s.empty() || s.size() > 9)
        return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool Lower(const std::string &a, const char *b)
{
    std::string x;
    for (char c : a)
        x.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    return x == b;
}

// Parses one action for the rule's kind into its typed form.
bool ParseAction(AnswerRule::Kind kind, const std::string &written, AnswerAction &out, std::string &error)
{
    std::vector<std::string> w;
    if (!SplitAction(written, w, error))
        return false;
    if (w.empty()) {
        error = "empty action";
        return false;
    }
    AnswerAction a;
    a.written = written;
    if (kind == AnswerRule::Message) {
        if (!Lower(w[0], "answer") || w.size() != 2) {
            error = "a message takes \"answer B\" (B one of OK, Cancel, Yes, No), not \"" + written + "\"";
            return false;
        }
        static const char *const kButtons[] = {"OK", "Cancel", "Yes", "No"};
        for (const char *b : kButtons) {
            std::string lower;
            for (const char *p = b; *p; ++p)
                lower.push_back(char(std::tolower(static_cast<unsigned char>(*p))));
            if (Lower(w[1], lower.c_str()))
                a.control = b;
        }
        if (a.control.empty()) {
            error = "unknown button \"" + w[1] + "\" (buttons: OK, Cancel, Yes, No)";
            return false;
        }
        a.verb = AnswerAction::Answer;
        out = a;
        return true;
    }
    if (Lower(w[0], "close")) {
        if (w.size() != 1) {
            error = "\"close\" takes nothing after it";
            return false;
        }
        a.verb = AnswerAction::Close;
    } else if (Lower(w[0], "click") || Lower(w[0], "check")) {
        if (w.size() != 2) {
            error = "\"" + w[0] + "\" takes one control (an id or a caption in double quotes)";
            return false;
        }
        a.verb = Lower(w[0], "click") ? AnswerAction::Click : AnswerAction::Check;
        a.control = w[1];
    } else if (Lower(w[0], "select") || Lower(w[0], "set")) {
        if (w.size() != 3) {
            error = "\"" + w[0] + "\" takes a control and a text (in double quotes when it has spaces)";
            return false;
        }
        a.verb = Lower(w[0], "set") ? AnswerAction::Set : AnswerAction::Select;
        a.control = w[1];
        a.text = w[2];
        int n;
        if (a.verb == AnswerAction::Select && w[2].size() > 1 && w[2][0] == '#' && ParseNumber(w[2].substr(1), n))
            a.entry = n;
    } else {
        error = "unknown action \"" + w[0] + "\" (actions: click, select, set, check, close)";
        return false;
    }
    out = a;
    return true;
}

} // namespace

bool SplitAction(const std::string &action, std::vector<std::string> &words, std::string &error)
{
    words.clear();
    size_t i = 0, n = action.size();
    while (i < n) {
        while (i < n && std::isspace(static_cast<unsigned char>(action[i])))
            ++i;
        if (i >= n)
            break;
        std::string word;
        if (action[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (action[i] == '"') {
                    // A doubled quote stands for one.
                    if (i + 1 < n && action[i + 1] == '"') {
                        word.push_back('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                word.push_back(action[i++]);
            }
            if (!closed) {
                error = "unclosed double quote in \"" + action + "\"";
                return false;
            }
        } else {
            // An unquoted text (the third word of select/set) is the rest
            // of the action, inner spaces included.
            if (words.size() == 2) {
                word = Trim(action.substr(i));
                i = n;
            } else {
                while (i < n && !std::isspace(static_cast<unsigned char>(action[i])))
                    word.push_back(action[i++]);
            }
        }
        words.push_back(word);
    }
    return true;
}

std::string QuoteActionWord(const std::string &text)
{
    bool plain = !text.empty() && text[0] != '#';
    for (char c : text)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == ';' || c == '#')
            plain = false;
    if (plain)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    return out + "\"";
}

bool ParseAnswerRule(const std::string &lineIn, AnswerRule &rule, bool &isRule, std::string &error)
{
    isRule = false;
    if (lineIn.size() > kAnswerRuleMaxBytes) {
        error = "a rule is longer than " + std::to_string(kAnswerRuleMaxBytes) + " bytes";
        return false;
    }
    // Cut a comment: a '#' outside double quotes that starts the line or
    // follows a blank, unless a digit follows it ("select 1014 #3" names an
    // entry, "page 105#2" a showing).
    std::string line;
    bool quoted = false;
    for (size_t i = 0; i < lineIn.size(); ++i) {
        char c = lineIn[i];
        if (c == '"')
            quoted = !quoted;
        if (c == '#' && !quoted) {
            bool first = Trim(line).empty();
            bool afterBlank = i > 0 && std::isspace(static_cast<unsigned char>(lineIn[i - 1]));
            bool digitNext = i + 1 < lineIn.size() && std::isdigit(static_cast<unsigned char>(lineIn[i + 1]));
            if (first || (afterBlank && !digitNext))
                break;
        }
        line.push_back(c);
    }
    line = Trim(line);
    if (line.empty())
        return true;
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
        error = "a rule is \"SELECTOR: ACTION; ACTION...\" (no ':' in \"" + line + "\")";
        return false;
    }
    std::string sel = Trim(line.substr(0, colon));
    std::string acts = line.substr(colon + 1);
    size_t sp = sel.find_first_of(" \t");
    std::string kind = sp == std::string::npos ? sel : sel.substr(0, sp);
    std::string target = sp == std::string::npos ? "" : Trim(sel.substr(sp));
    AnswerRule r;
    r.text = Trim(lineIn.substr(0, lineIn.find_last_not_of(" \t\r\n") + 1));
    if (Lower(kind, "page"))
        r.kind = AnswerRule::Page;
    else if (Lower(kind, "message"))
        r.kind = AnswerRule::Message;
    else {
        error = "unknown selector \"" + sel + "\" (selectors: page ID, page ID#N, message ID, message ID#N, message *)";
        return false;
    }
    if (r.kind == AnswerRule::Message && target == "*") {
        r.id = -1;
    } else {
        std::string idText = target, nText;
        size_t hash = target.find('#');
        if (hash != std::string::npos) {
            idText = target.substr(0, hash);
            nText = target.substr(hash + 1);
        }
        if (!ParseNumber(idText, r.id)) {
            error = "\"" + sel + "\" needs a numeric id";
            return false;
        }
        if (hash != std::string::npos && (!ParseNumber(nText, r.showing) || r.showing < 1)) {
            error = "\"" + sel + "\": the showing number after '#' counts from 1";
            return false;
        }
    }
    if (r.kind == AnswerRule::Page && (r.id == 103 || r.id == 109 || r.id == 110)) {
        error = "page " + std::to_string(r.id) + " is shown while work is done and takes no answer";
        return false;
    }
    // Actions are separated by ';' outside double quotes.
    std::string cur;
    quoted = false;
    std::vector<std::string> list;
    for (char c : acts) {
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            list.push_back(Trim(cur));
            cur.clear();
            continue;
        }
        cur.push_back(c);
    }
    list.push_back(Trim(cur));
    for (const std::string &a : list) {
        if (a.empty())
            continue;
        AnswerAction action;
        if (!ParseAction(r.kind, a, action, error))
            return false;
        r.actions.push_back(action);
    }
    if (r.actions.empty()) {
        error = "\"" + sel + "\" has no action";
        return false;
    }
    if (r.kind == AnswerRule::Message && r.actions.size() != 1) {
        error = "a message takes one \"answer\"";
        return false;
    }
    rule = r;
    isRule = true;
    return true;
}

const AnswerRule *PickRule(const std::vector<AnswerRule> &rules, AnswerRule::Kind kind, int id, int showing)
{
    const AnswerRule *best = nullptr;
    int bestScore = -1;
    for (const AnswerRule &r : rules) {
        if (r.kind != kind)
            continue;
        int score;
        if (r.id == -1)
            score = 0; // message *
        else if (r.id != id)
            continue;
        else if (r.showing == 0)
            score = 1;
        else if (r.showing == showing)
            score = 2;
        else
            continue;
        // Of equally specific rules the last one wins.
        if (score >= bestScore) {
            best = &r;
            bestScore = score;
        }
    }
    return best;
}

} // namespace plat
