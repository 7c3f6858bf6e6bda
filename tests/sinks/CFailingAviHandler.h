// An AVIFile file handler for the tests, registered for the extension
// ".vff" (three letters: AVIFile looks at no more) in this process: AVIFileOpenW hands such names to it, so the
// renderer's real AVIFile calls reach a stream whose writes fail on request
// (Wine's own handler never reports a failed write). It records the
// position of every write.
#pragma once

#include <windows.h>
#include <vector>

namespace failing_avi {

// Registers the handler's class object and extension; false on failure.
bool Register();
void Unregister();

// Writes whose call number (from 0, counting every Write) is in this list fail.
void FailWrites(const std::vector<int>& calls);
// Positions passed to Write, failed or not, and whether each one failed.
struct WriteCall {
    LONG position;
    bool failed;
    bool key;
};
std::vector<WriteCall> Writes();

} // namespace failing_avi
