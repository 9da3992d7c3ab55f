#pragma once

// The turnstile controller as a program: it serves the stand-in device library on one TCP
// port and a line-based control protocol on another (see sim/PROTOCOL.md). Free of Qt so
// that tests can run it in-process on background threads.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Options
{
    std::uint16_t port = 3570;     // 0: a free port chosen by the system
    std::uint16_t controlPort = 0; // 0: a free port chosen by the system
    std::string stateFile;         // biometric users kept across restarts; empty: memory only
    int autoRotateMs = -1;         // after a release the person passes after this delay; -1: only on command
    std::size_t packetSize = 16;   // users per packet of the user list
    // Append-only record of what happened at the turnstile (identifications, events handed
    // out, releases, rotations), one line each, flushed as it happens; empty: none. Lines are
    // "<ms since the epoch> <kind> key=value...", see PROTOCOL.md.
    std::string recordFile;
};

enum class Arm { Locked, Entry, Exit, Both };

struct Display
{
    int mode = 0; // 1: the controller's date and time on line 1
    std::string line1 = std::string(16, ' ');
    std::string line2 = std::string(16, ' ');
    bool temporary = false;
};

// Identification and rotation events, as ReceberDadosOnLine hands them out.
struct OnlineEvent
{
    std::uint8_t origin = 0;
    std::uint8_t complement = 0;
    std::array<std::uint8_t, 14> card{};
    std::uint8_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
};

// Origins of the events the simulator produces.
namespace origin {
inline constexpr int Card = 1;
inline constexpr int Keypad = 2;
inline constexpr int Finger = 3;
inline constexpr int NotPassed = 5;
inline constexpr int Passed = 6;
} // namespace origin

// One call as the controller received it. Integers are kept in decimal, texts and records as
// their bytes.
struct CallRecord
{
    std::uint64_t number = 0;
    std::string name;
    std::vector<std::string> args;
    int result = 0;
    std::vector<bool> textArgs; // which args are byte strings rather than integers
    bool note = false;          // a setting, which has no answer of its own
    bool answered = true;       // false when the controller was unplugged
    bool linkClosed = false;    // made while the library's link was closed, delivered at the next open
    std::string text() const;
};

struct ConfigCall
{
    std::string name;
    std::vector<int> args;
    bool operator==(const ConfigCall&) const = default;
};

class Simulator
{
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Loads the state file and starts listening; false with `error` set when it cannot.
    bool start(std::string* error = nullptr);
    bool start(std::uint16_t port, std::uint16_t controlPort, std::string* error = nullptr);
    void stop();
    bool running() const;
    std::uint16_t port() const;
    std::uint16_t controlPort() const;

    // State.
    bool linkOpen() const;
    int linkType() const;                         // as last defined by DefinirTipoConexao
    std::vector<ConfigCall> onlineConfig() const; // the settings of the last EnviarConfiguracoes, in order
    int configurationsSent() const;
    std::vector<int> identificationForms() const; // arguments of the last EnviarFormasEntradasOnLine
    std::chrono::system_clock::time_point clock() const;
    Display display() const;
    Arm arm() const;
    std::string lastRelease() const; // entry point of the last release
    std::size_t pendingEvents() const;
    std::map<std::string, std::string> users() const; // code -> 844-byte record
    std::vector<std::string> usersWithoutFingerprint() const;
    std::vector<CallRecord> calls() const;
    std::vector<std::string> callNames() const;
    void clearCalls();

    // Actions of a person at the turnstile, and of whoever sets it up.
    void presentCard(const std::string& cardBytes, int eventOrigin = origin::Card);
    bool presentFinger(const std::string& code);
    bool rotate(); // false when the arm is locked
    bool noPass();
    bool addUser(const std::string& code, const std::string& record = {});
    bool removeUser(const std::string& code);

    // Faults.
    // False for names that are no entry point, and for TemProximoUsuario and TemProximoPacote,
    // whose answer is a yes or no and has no room for an error code.
    bool setFault(const std::string& entryPoint, int resultCode); // 0 clears it
    void clearFaults();
    bool setDelay(const std::string& entryPoint, int ms); // 0 clears it
    void setUnplugged(bool unplugged);
    bool unplugged() const;

    // The control protocol, as served on the control port: one command line in, the reply
    // lines out (data lines start with ". ", the last line is "OK" or "ERR <reason>").
    std::string command(const std::string& line);

    // The time the controller's clock runs on (the machine's by default): a test in virtual time
    // gives its own clock, so that the events' dates follow it. Called on simulator threads, with
    // the simulator's lock held, while the program waits for an answer.
    void setTimeSource(std::function<std::chrono::system_clock::time_point()> source);

    // Called (on a simulator thread) with a one-line description of every change of the
    // display and the arm.
    void setObserver(std::function<void(const std::string&)> observer);

    // Builds an 844-byte record holding `code` in bytes 1 to 10.
    static std::string makeRecord(const std::string& code, char filler = '\x5a');

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

std::string armName(Arm arm);

} // namespace sim
