#include "tools/V77Host/CHostPlayScript.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

bool ParseNumber(const std::string& text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0';
}

}  // namespace

CHostPlayScript::~CHostPlayScript()
{
    // A thread blocked in a read of the console cannot be woken: let it go
    // with the process.
    if (m_Reader.joinable())
        m_Reader.detach();
}

bool CHostPlayScript::Parse(const std::string& line, HostPlayCommand* command, std::string* error)
{
    std::istringstream words(line.substr(0, line.find('#')));
    std::string verb, argument, rest;
    words >> verb >> argument >> rest;
    if (verb.empty())
        return false;
    static const struct {
        const char* word;
        HostPlayCommand::Kind kind;
        bool numeric;
    } kVerbs[] = {{"wait", HostPlayCommand::Wait, true},   {"seek", HostPlayCommand::Seek, true},
                  {"rate", HostPlayCommand::Rate, true},   {"step", HostPlayCommand::Step, true},
                  {"pause", HostPlayCommand::Pause, false}, {"play", HostPlayCommand::Play, false},
                  {"p", HostPlayCommand::TogglePause, false}, {".", HostPlayCommand::Step, false},
                  {",", HostPlayCommand::Step, false},     {"+", HostPlayCommand::Faster, false},
                  {"-", HostPlayCommand::Slower, false},   {"q", HostPlayCommand::Quit, false},
                  {"quit", HostPlayCommand::Quit, false},  {"screenshot", HostPlayCommand::Screenshot, false}};
    for (const auto& entry : kVerbs) {
        if (verb != entry.word)
            continue;
        command->kind = entry.kind;
        command->value = verb == "," ? -1 : 1;
        command->text = argument;
        const bool wantsArgument = entry.numeric || entry.kind == HostPlayCommand::Screenshot;
        if ((wantsArgument && argument.empty()) || (!wantsArgument && !argument.empty()) || !rest.empty() ||
            (entry.numeric && !ParseNumber(argument, &command->value))) {
            *error = "bad command \"" + line + "\"";
            return false;
        }
        return true;
    }
    *error = "unknown command \"" + line + "\"";
    return false;
}

bool CHostPlayScript::LoadFile(const std::wstring& path, std::string* error)
{
    FILE* file = _wfopen(path.c_str(), L"r");
    if (!file) {
        *error = "cannot open the script";
        return false;
    }
    char buffer[512];
    int number = 0;
    bool ok = true;
    while (ok && std::fgets(buffer, sizeof(buffer), file)) {
        ++number;
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        HostPlayCommand command = {};
        std::string problem;
        if (Parse(line, &command, &problem)) {
            m_Commands.push_back(command);
        } else if (!problem.empty()) {
            *error = "line " + std::to_string(number) + ": " + problem;
            ok = false;
        }
    }
    std::fclose(file);
    return ok;
}

void CHostPlayScript::FollowStdin()
{
    m_Reader = std::thread([this] { ReadStdin(); });
}

void CHostPlayScript::ReadStdin()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        HostPlayCommand command = {};
        std::string problem;
        if (Parse(line, &command, &problem)) {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Commands.push_back(command);
        } else if (!problem.empty()) {
            std::fprintf(stderr, "play: %s\n", problem.c_str());
        }
    }
}

bool CHostPlayScript::Next(HostPlayCommand* command)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (GetTickCount64() < m_WaitUntil)
        return false;
    while (!m_Commands.empty()) {
        *command = m_Commands.front();
        m_Commands.pop_front();
        if (command->kind != HostPlayCommand::Wait)
            return true;
        m_WaitUntil = GetTickCount64() + static_cast<ULONGLONG>(command->value * 1000);
        return false;
    }
    return false;
}
