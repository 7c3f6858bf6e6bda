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

// The whole text is the number, and it is in the type's range.
bool ParseWhole(const std::string& text, double* value)
{
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && !*end && !errno;
}

bool ParseWhole(const std::string& text, long* value)
{
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && !*end && !errno;
}

std::string Describe(double value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

std::string Describe(long value)
{
    return std::to_string(value);
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

template <typename T>
bool CHostArgs::Ranged(const char* name, T min, T max, const char* kind, T* out)
{
    auto it = m_Values.find(name);
    if (it == m_Values.end())
        return true;
    T value{};
    if (!ParseWhole(it->second, &value) || !(value >= min && value <= max)) {
        m_Error = std::string(name) + " takes " + kind + " from " + Describe(min) + " to " + Describe(max) +
                  ", not \"" + it->second + "\"";
        return false;
    }
    *out = value;
    return true;
}

bool CHostArgs::Number(const char* name, double min, double max, double* out)
{
    return Ranged(name, min, max, "a number", out);
}

bool CHostArgs::Integer(const char* name, long min, long max, long* out)
{
    return Ranged(name, min, max, "a whole number", out);
}
