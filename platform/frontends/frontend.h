// frontend.h - the user-interface front ends and the answers engine.
//
// The loader chooses a front end with --ui. The unattended one ("none")
// answers every modal page and message box from the answer rules, by the
// window messages that a user's input would make, and ends the run (exit
// code 3) at the first page or message that has no answer.
#ifndef CE_PLATFORM_FRONTEND_H
#define CE_PLATFORM_FRONTEND_H

#include <string>
#include <vector>

namespace plat {

enum class UiMode { Auto, Gui, Tui, None };

struct UiOptions {
    UiMode mode = UiMode::Auto;
    std::string answersFile;              // --answers (empty: none)
    std::vector<std::string> answerRules; // --answer, after the file's rules
    std::string screenshotsDir;           // --screenshots (empty: none)
    std::string recordFile;               // --record: answer rules that replay the run (empty: none)
    int progress = -1;                    // --progress 1, --no-progress 0; -1: on when stderr is a
                                          // terminal and the run is unattended
    int scale = 2;                        // --scale: host pixels per device pixel (gui)
};

// Chooses and starts the front end and loads the rules. False with a
// message (the loader exits with code 2).
bool UiInit(const UiOptions &options, std::string &error);
// The run's exit code as the user saw the run: 1 when a product's turn
// failed or nothing was found (or the setup could not start), 4 when the
// user ended the wizard with Exit or a close box and nothing failed, else
// 0. Read it before UiShutdown.
int UiExitCode();
// Ends the front end; an interactive one that gives a terminal back
// prints a summary of the run with exitCode.
void UiShutdown(int exitCode = 0);

// Attaches the front ends below: dialogs shown before UiInit get the
// unattended one's hooks, and DeviceReset shuts the front end down.
void FrontendsAttach();

} // namespace plat

#endif
