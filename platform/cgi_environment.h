// Where a CGI request comes from: the variables the web server sets. Programs
// read the process environment; tests hand in a map.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tlvx {

class ICgiEnvironment {
public:
    virtual ~ICgiEnvironment() = default;
    // The variable's value, or nothing when it is unset (an empty value is
    // set). Names are case-sensitive, as on the platform.
    virtual std::optional<std::string> Find(const std::string& name) const = 0;
    // The value, or "" when unset.
    std::string Get(const std::string& name) const { return Find(name).value_or(std::string()); }
};

// The process environment (getenv).
class TProcessEnvironment : public ICgiEnvironment {
public:
    std::optional<std::string> Find(const std::string& name) const override;
};

// A fixed set of variables.
class TMapEnvironment : public ICgiEnvironment {
public:
    TMapEnvironment() = default;
    explicit TMapEnvironment(std::map<std::string, std::string> vars) : vars_(std::move(vars)) {}
    std::optional<std::string> Find(const std::string& name) const override;
    void Set(const std::string& name, const std::string& value) { vars_[name] = value; }
    void Unset(const std::string& name) { vars_.erase(name); }

private:
    std::map<std::string, std::string> vars_;
};

// True when a web server started the program: GATEWAY_INTERFACE or
// REQUEST_METHOD is set. Console-only roads (database installation) must
// refuse to run then, since a server may pass an ISINDEX query such as
// "?-INSTALL+7" as command-line arguments.
bool RunningUnderCgi(const ICgiEnvironment& env);

// True for a run from the console that asks to create a counter database:
// the first argument after the program is "-INSTALL" in any letter case and
// no web server started the program (RunningUnderCgi is false).
bool IsConsoleInstall(const std::vector<std::string>& args, const ICgiEnvironment& env);

}  // namespace tlvx
