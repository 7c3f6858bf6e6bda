// The commands that drive a playback, from a script file or typed on stdin,
// one a line:
//   wait SECONDS | seek SECONDS (from the store's start) | rate R | step N |
//   pause | play | screenshot FILE.png | quit     ('#' starts a comment)
// and the keys p (pause/play), . (step +1), , (step -1), + (rate x2),
// - (rate /2), q (quit), each followed by Enter.
#pragma once

#include <windows.h>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

struct HostPlayCommand {
    enum Kind { Wait, Seek, Rate, Step, Pause, Play, TogglePause, Faster, Slower, Screenshot, Quit } kind;
    double value = 0;
    std::string text;
};

class CHostPlayScript {
public:
    ~CHostPlayScript();

    // False with *error naming the line that does not parse.
    bool LoadFile(const std::wstring& path, std::string* error);
    // Reads commands from stdin on a thread of its own as they are typed.
    void FollowStdin();
    // The next command when one is due (waits are counted here); false when
    // none is due yet.
    bool Next(HostPlayCommand* command);

    static bool Parse(const std::string& line, HostPlayCommand* command, std::string* error);

private:
    void ReadStdin();

    std::mutex m_Lock;
    std::deque<HostPlayCommand> m_Commands;
    ULONGLONG m_WaitUntil = 0;
    std::thread m_Reader;
};
