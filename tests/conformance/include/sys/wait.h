// sys/wait.h (Win32 build) - the process calls of the device's own tests.
// Windows has no fork: these fail, and the tests that rely on them are
// listed as not run.
#ifndef CE_CONFORMANCE_SYS_WAIT_H
#define CE_CONFORMANCE_SYS_WAIT_H

#include <sys/types.h>

pid_t fork(void);
pid_t waitpid(pid_t pid, int *status, int options);
int pipe(int fds[2]);
int kill(pid_t pid, int sig);

#ifndef SIGKILL
#define SIGKILL 9
#endif
#ifndef WIFSIGNALED
#define WIFSIGNALED(status) 0
#define WTERMSIG(status) 0
#endif

#endif
