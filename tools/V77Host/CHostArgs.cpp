#include "tools/V77Host/CHostArgs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const HostOption kCommon[] = {{"--help", false}, {"--duration", true}, {"--screenshot", true}};

const HostOption* Find(const std::vector<HostOption>& options, const std::string& name)
{
    for (const HostOption& option : kCommon) {
        if (name == option.name)
            return &option;
    }
    for (const HostOption& option : options) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

}  // namespace

bool CHostArgs::Parse(int argc, char** argv, const std::vector<HostOption>& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            m_Positionals.push_back(arg);
            continue;
        }
        const HostOption* option = Find(options, arg);
        if (!option) {
            m_Error = "unknown option " + arg;
            return false;
        }
        if (!option->takesValue) {
            m_Values[arg] = "";
            continue;
        }
        if (i + 1 >= argc) {
            m_Error = arg + " needs a value";
            return false;
        }
        m_Values[arg] = argv[++i];
    }
    return true;
}

std::string CHostArgs::Value(const char* name, const std::string& fallback) const
{
    auto it = m_Values.find(name);
    return it == m_Values.end() ? fallback : it->second;
}

bool CHostArgs::Number(const char* name, double min, double max, double* out)
{
    auto it = m_Values.find(name);
    if (it == m_Values.end())
        return true;
    const char* text = it->second.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (!*text || *end || errno || !(value >= min && value <= max)) {
        char range[96];
        std::snprintf(range, sizeof(range), " takes a number from %g to %g", min, max);
        m_Error = std::string(name) + range + ", not \"" + it->second + "\"";
        return false;
    }
    *out = value;
    return true;
}

bool CHostArgs::Integer(const char* name, long min, long max, long* out)
{
    auto it = m_Values.find(name);
    if (it == m_Values.end())
        return true;
    const char* text = it->second.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (!*text || *end || errno || value < min || value > max) {
        m_Error = std::string(name) + " takes a whole number from " + std::to_string(min) + " to " +
                  std::to_string(max) + ", not \"" + it->second + "\"";
        return false;
    }
    *out = value;
    return true;
}
