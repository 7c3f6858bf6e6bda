// Command-line arguments of one host subcommand: positionals and --options,
// checked against the options the command declares.
#pragma once

#include <map>
#include <string>
#include <vector>

struct HostOption {
    const char* name;  // "--duration"
    bool takesValue;
};

class CHostArgs {
public:
    // argv[0] is the command's name. Every command also takes --help,
    // --duration SECONDS and --screenshot FILE.png. False with Error() set on
    // an unknown option or a missing value.
    bool Parse(int argc, char** argv, const std::vector<HostOption>& options);

    bool Has(const char* name) const { return m_Values.count(name) != 0; }
    std::string Value(const char* name, const std::string& fallback = std::string()) const;
    // Absent: *out is left alone and true. Present but not a number in
    // [min, max]: false with Error() set.
    bool Number(const char* name, double min, double max, double* out);
    bool Integer(const char* name, long min, long max, long* out);
    const std::vector<std::string>& Positionals() const { return m_Positionals; }
    const std::string& Error() const { return m_Error; }

private:
    template <typename T>
    bool Ranged(const char* name, T min, T max, const char* kind, T* out);

    std::map<std::string, std::string> m_Values;
    std::vector<std::string> m_Positionals;
    std::string m_Error;
};
