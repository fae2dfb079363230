// transcript.h - the run's JSON Lines transcript (loader option --transcript,
// CE_TRANSCRIPT for client programs).
//
// The device layer records the kernel's launches, the front ends their pages,
// answers and messages; the loader decides where it goes. With no transcript
// open every call does nothing.
#ifndef CE_PLATFORM_TRANSCRIPT_H
#define CE_PLATFORM_TRANSCRIPT_H

#include <string>

namespace plat {

// "-" is standard output. False with a message when the file cannot be made.
bool TranscriptOpen(const std::string &path, std::string &error);
// Flushes and closes; false when any write of the transcript failed (said
// once on stderr when it happened).
bool TranscriptClose();

// {"event":"launch","program":...,"cmdline":...,"started":...}
void TranscriptLaunch(const std::u16string &program, const std::u16string &cmdline, bool started);

// {"event":"exit","code":...} (the loader writes it last).
void TranscriptExit(int code);

// The number the next event will have (from 1), open or not; screenshots
// are numbered with it.
int TranscriptNextEventNumber();

// Writes one event object given as compact JSON text (no line end), adding
// the line end and flushing.
void TranscriptWriteLine(const std::string &json);

// Whether a transcript is open: an event that only goes to it need not be
// made at all when none is, but is still counted (TranscriptCountEvent), so
// that the numbers of the events that follow stay the same.
bool TranscriptIsOpen();
void TranscriptCountEvent();

} // namespace plat

#endif
