#include "core/Simulator.h"

#include "os/Net.h"
#include "protocol/Wire.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace sim {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;
constexpr std::size_t kMaxCalls = 20000;
constexpr int kPollMs = 10; // how soon the server threads notice stop()
constexpr std::size_t kMaxControlLine = 1024;
const char* const kStateHeader = "catraca-sim users 1";

struct Arg
{
    bool isInt = true;
    long long value = 0;
    std::string bytes;
};

// The controller's view of one connection of the library: what the library has handed over
// and not yet sent, the user list being collected, and the answers waiting to be read.
struct Session
{
    bool open = false;
    std::vector<ConfigCall> pendingConfig;
    std::vector<std::string> withoutFingerprint;
    bool collecting = false;
    std::vector<std::string> snapshot;
    std::size_t packetCount = 0;
    std::size_t nextPacket = 0;
    std::optional<std::size_t> requestedPacket;
    std::vector<std::string> packet;
    std::size_t cursor = 0;
    std::optional<int> inclusion;
    std::optional<int> deletion;
};

struct Connection
{
    os::Socket socket;
    std::thread thread;
    std::atomic<bool> done{false};
};

std::string userCodeOf(std::string_view bytes)
{
    const auto end = bytes.find('\0');
    return std::string(bytes.substr(0, end));
}

// Texts from the library are Windows-1252; the console shows them as UTF-8.
std::string printable(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || (b >= 0x80 && b < 0xa0)) {
            out += '?';
        } else if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xc0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3f));
        }
    }
    return out;
}

std::string quoted(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7f) {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string fit16(std::string_view text)
{
    std::string line(text.substr(0, std::min<std::size_t>(16, text.size())));
    line.resize(16, ' ');
    return line;
}

bool validCode(const std::string& code)
{
    return !code.empty() && code.size() <= kUserCodeSize;
}

} // namespace

std::string armName(Arm arm)
{
    switch (arm) {
    case Arm::Locked:
        return "locked";
    case Arm::Entry:
        return "released entry";
    case Arm::Exit:
        return "released exit";
    case Arm::Both:
        return "released both";
    }
    return "?";
}

std::string CallRecord::text() const
{
    std::string out = "#" + std::to_string(number) + " " + name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            out += ", ";
        const bool isText = i < textArgs.size() && textArgs[i];
        if (!isText)
            out += args[i];
        else if (args[i].size() == kRecordSize)
            out += "<record " + quoted(userCodeOf(std::string_view(args[i]).substr(1, kUserCodeSize))) + ">";
        else
            out += quoted(args[i]);
    }
    out += ")";
    if (!answered)
        out += " unanswered";
    else if (!note)
        out += " = " + std::to_string(result);
    if (linkClosed)
        out += " [link closed]";
    return out;
}

struct Simulator::Impl
{
    Options options;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};
    bool started = false;
    os::Listener deviceListener;
    os::Listener controlListener;
    std::thread deviceAcceptor;
    std::thread controlAcceptor;
    std::thread ticker;
    std::mutex connectionsMutex;
    std::vector<std::unique_ptr<Connection>> connections;

    // Controller state, under `mutex`.
    int openSessions = 0;
    int linkType = 1;
    int cardPattern = 0;
    std::vector<ConfigCall> onlineConfig;
    int configurationsSent = 0;
    std::vector<int> forms;
    std::chrono::system_clock::duration clockOffset{};
    int standingMode = 1;
    std::string standingText;
    struct Temporary
    {
        int mode;
        std::string text;
        SteadyTime until;
    };
    std::optional<Temporary> temporary;
    Arm arm = Arm::Locked;
    std::string lastRelease;
    std::optional<SteadyTime> rotationDue;
    std::deque<OnlineEvent> events;
    std::array<std::uint8_t, 14> lastCard{};
    std::map<std::string, std::string> users;
    std::set<std::string> withoutFingerprint;
    std::map<std::string, int> faults;
    std::map<std::string, int> delays;
    bool unplugged = false;
    std::deque<CallRecord> calls;
    std::uint64_t callNumber = 0;
    std::function<void(const std::string&)> observer;
    std::function<std::chrono::system_clock::time_point()> timeSource;
    // The passage record (Options::recordFile) and, beside `events`, when each event arose.
    std::ofstream recordOut;
    std::deque<long long> eventQueuedMs;

    // --- helpers, called with `mutex` held ---

    void notify(const std::string& text)
    {
        if (observer)
            observer(text);
    }

    static long long wallMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }

    // One line of the passage record, on the disk before the controller goes on.
    void recordPassage(const std::string& kind, const std::string& fields)
    {
        if (!recordOut.is_open())
            return;
        recordOut << wallMs() << ' ' << kind << ' ' << fields << '\n';
        recordOut.flush();
    }

    static char directionLetter(Arm direction)
    {
        return direction == Arm::Entry ? 'E' : direction == Arm::Exit ? 'S' : 'T';
    }

    void queueEvent(const OnlineEvent& event)
    {
        events.push_back(event);
        eventQueuedMs.push_back(wallMs());
    }

    // The time the controller's clock runs on: the machine's, or the one a test gives.
    std::chrono::system_clock::time_point baseTime() const
    {
        return timeSource ? timeSource() : std::chrono::system_clock::now();
    }

    std::chrono::system_clock::time_point now() const { return baseTime() + clockOffset; }

    Display currentDisplay() const
    {
        Display shown;
        const bool temp = temporary.has_value();
        const int mode = temp ? temporary->mode : standingMode;
        const std::string& text = temp ? temporary->text : standingText;
        shown.mode = mode;
        shown.temporary = temp;
        if (mode == 1) {
            shown.line1 = dateTimeLine();
            shown.line2 = fit16(text);
        } else {
            shown.line1 = fit16(text);
            shown.line2 = fit16(text.size() > 16 ? std::string_view(text).substr(16) : std::string_view());
        }
        return shown;
    }

    std::string dateTimeLine() const
    {
        using namespace std::chrono;
        const auto t = floor<minutes>(now());
        const year_month_day date{floor<days>(t)};
        const hh_mm_ss time{t - floor<days>(t)};
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, " %02u/%02u/%02d %02d:%02d ", static_cast<unsigned>(date.day()),
                      static_cast<unsigned>(date.month()), static_cast<int>(date.year()) % 100,
                      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()));
        return fit16(buffer);
    }

    void notifyDisplay()
    {
        const Display shown = currentDisplay();
        notify("display" + std::string(shown.temporary ? " (temporary)" : "") + " mode " +
               std::to_string(shown.mode) + ": [" + printable(shown.line1) + "] [" + printable(shown.line2) +
               "]");
    }

    void stampEvent(OnlineEvent& event) const
    {
        using namespace std::chrono;
        const auto t = floor<seconds>(now());
        const year_month_day date{floor<days>(t)};
        const hh_mm_ss time{t - floor<days>(t)};
        event.day = static_cast<std::uint8_t>(static_cast<unsigned>(date.day()));
        event.month = static_cast<std::uint8_t>(static_cast<unsigned>(date.month()));
        event.year = static_cast<std::uint8_t>(static_cast<int>(date.year()) % 100);
        event.hour = static_cast<std::uint8_t>(time.hours().count());
        event.minute = static_cast<std::uint8_t>(time.minutes().count());
        event.second = static_cast<std::uint8_t>(time.seconds().count());
    }

    void queueIdentification(const std::string& cardBytes, int eventOrigin)
    {
        OnlineEvent event;
        event.origin = static_cast<std::uint8_t>(eventOrigin);
        std::copy_n(cardBytes.begin(), std::min(cardBytes.size(), event.card.size()), event.card.begin());
        stampEvent(event);
        lastCard = event.card;
        queueEvent(event);
        recordPassage("tap", "origin=" + std::to_string(eventOrigin) +
                                 " card=" + wire::hex(std::string(event.card.begin(), event.card.end())));
    }

    bool finishRelease(bool passed)
    {
        if (arm == Arm::Locked)
            return false;
        OnlineEvent event;
        event.origin = static_cast<std::uint8_t>(passed ? origin::Passed : origin::NotPassed);
        event.complement = static_cast<std::uint8_t>(arm == Arm::Entry ? 1 : arm == Arm::Exit ? 2 : 0);
        event.card = lastCard;
        stampEvent(event);
        queueEvent(event);
        recordPassage("rotation",
                      std::string("dir=") + directionLetter(arm) + " passed=" + (passed ? "1" : "0") +
                          " card=" + wire::hex(std::string(event.card.begin(), event.card.end())));
        arm = Arm::Locked;
        rotationDue.reset();
        notify(std::string("arm locked (") + (passed ? "passed, origin 6" : "not passed, origin 5") + ")");
        return true;
    }

    void release(Arm direction, const std::string& entryPoint)
    {
        arm = direction;
        lastRelease = entryPoint;
        recordPassage("release", std::string("dir=") + directionLetter(direction) + " entry=" + entryPoint);
        notify("arm " + armName(direction) + " (" + entryPoint + ")");
        if (options.autoRotateMs == 0) {
            finishRelease(true);
        } else if (options.autoRotateMs > 0) {
            rotationDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.autoRotateMs);
            wake.notify_all();
        }
    }

    void startCollection(Session& session)
    {
        session.collecting = true;
        session.snapshot.clear();
        for (const auto& user : users)
            session.snapshot.push_back(user.first);
        const std::size_t size = std::max<std::size_t>(1, options.packetSize);
        session.packetCount = (session.snapshot.size() + size - 1) / size;
        session.nextPacket = 0;
        session.requestedPacket.reset();
        session.packet.clear();
        session.cursor = 0;
    }

    bool saveUsers(std::string& error) const
    {
        if (options.stateFile.empty())
            return true;
        std::string contents = std::string(kStateHeader) + "\n";
        for (const auto& [code, record] : users)
            contents += wire::hex(code) + " " + wire::hex(record) + "\n";
        return os::replaceFile(options.stateFile, contents, error);
    }

    void persist()
    {
        std::string error;
        if (!saveUsers(error))
            std::cerr << "catraca-sim: users not saved: " << error << "\n";
    }

    bool loadUsers(std::string& error)
    {
        users.clear();
        if (options.stateFile.empty())
            return true;
        std::ifstream in(options.stateFile, std::ios::binary);
        if (!in)
            return true; // a first start: nothing kept yet
        std::string line;
        if (!std::getline(in, line) || line != kStateHeader) {
            error = options.stateFile + ": not a simulator state file";
            return false;
        }
        int number = 1;
        while (std::getline(in, line)) {
            ++number;
            if (line.empty())
                continue;
            const auto tokens = wire::split(line);
            const auto code = tokens.size() == 2 ? wire::unhex(tokens[0]) : std::nullopt;
            const auto record = tokens.size() == 2 ? wire::unhex(tokens[1]) : std::nullopt;
            if (!code || !record || !validCode(*code) || record->size() != kRecordSize) {
                error = options.stateFile + ":" + std::to_string(number) + ": malformed user";
                return false;
            }
            users[*code] = *record;
        }
        return true;
    }

    void record(CallRecord entry)
    {
        entry.number = ++callNumber;
        calls.push_back(std::move(entry));
        while (calls.size() > kMaxCalls)
            calls.pop_front();
    }

    // Carries out one call of the library. Returns the result; `outputs` receives the values
    // of a successful ReceberDadosOnLine or ReceberUsuarioLista.
    int dispatch(Session& session, const std::string& name, const std::vector<Arg>& args,
                 std::vector<std::string>& outputs);

    // A faulted call is refused without being carried out; a refused list request still
    // uses up its packet, as the controller moves on to the next one.
    void refused(Session& session, const std::string& name)
    {
        if (name == "SolicitarListaUsuariosBio" && session.collecting &&
            session.nextPacket < session.packetCount) {
            ++session.nextPacket;
            session.requestedPacket.reset();
        }
    }

    std::optional<std::string> handleLine(Session& session, const std::string& line);
    void serveDevice(Connection& connection);
    void serveControl(Connection& connection, Simulator& owner);
    void acceptLoop(os::Listener& listener, bool control, Simulator& owner);
    void tick();
    void closeSession(Session& session);
};

int Simulator::Impl::dispatch(Session& session, const std::string& name, const std::vector<Arg>& args,
                              std::vector<std::string>& outputs)
{
    const auto known = std::find(kEntryPoints.begin(), kEntryPoints.end(), name);
    if (known == kEntryPoints.end())
        return code::UnknownRequest;
    const std::string_view shape = kArgumentShapes[std::size_t(known - kEntryPoints.begin())];
    if (shape.size() != args.size())
        return code::BadArgument;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((shape[i] != 't') != args[i].isInt)
            return code::BadArgument;
        // The controller answers to device number 1 only.
        if (shape[i] == 'd' && args[i].value != 1)
            return code::BadArgument;
    }
    auto arg = [&](std::size_t i) { return static_cast<int>(args[i].value); };

    if (name == "FecharPortaComunicacao") {
        closeSession(session);
        return code::Ok;
    }
    if (name == "DefinirTipoConexao") {
        linkType = arg(0);
        return code::Ok;
    }
    if (name == "AbrirPortaComunicacao") {
        Session fresh;
        fresh.open = true;
        if (!session.open) {
            ++openSessions;
            notify("link open (port " + std::to_string(arg(0)) + ")");
        }
        fresh.pendingConfig = std::move(session.pendingConfig);
        session = std::move(fresh);
        return code::Ok;
    }
    if (name == "DefinirPadraoCartao") {
        cardPattern = arg(0);
        return code::Ok;
    }
    if (name == "ConfigurarInnerOnLine")
        session.pendingConfig.clear();
    if (name.rfind("Configurar", 0) == 0 || name == "HabilitarTeclado" ||
        name == "DefinirQuantidadeDigitosCartao" || name == "ReceberDataHoraDadosOnLine" ||
        name == "DefinirFuncaoDefaultSensorBiometria") {
        ConfigCall setting{name, {}};
        for (const auto& a : args)
            setting.args.push_back(static_cast<int>(a.value));
        session.pendingConfig.push_back(std::move(setting));
        return code::Ok;
    }
    if (name == "InicializarColetaListaUsuariosBio") {
        startCollection(session);
        return code::Ok;
    }
    if (name == "Ping")
        return code::Ok;
    if (name == "EnviarConfiguracoes") {
        onlineConfig = session.pendingConfig;
        ++configurationsSent;
        notify("online configuration received (" + std::to_string(onlineConfig.size()) + " settings)");
        return code::Ok;
    }
    if (name == "EnviarRelogio") {
        using namespace std::chrono;
        const int dayValue = arg(1), monthValue = arg(2), yearValue = arg(3);
        const int hourValue = arg(4), minuteValue = arg(5), secondValue = arg(6);
        const year_month_day date{year{2000 + yearValue}, month{static_cast<unsigned>(monthValue)},
                                  day{static_cast<unsigned>(dayValue)}};
        if (yearValue < 0 || yearValue > 99 || monthValue < 1 || dayValue < 1 || !date.ok() ||
            hourValue < 0 || hourValue > 23 || minuteValue < 0 || minuteValue > 59 || secondValue < 0 ||
            secondValue > 59)
            return code::BadArgument;
        const auto set = sys_days(date) + hours(hourValue) + minutes(minuteValue) + seconds(secondValue);
        clockOffset = duration_cast<system_clock::duration>(set - baseTime());
        return code::Ok;
    }
    if (name == "EnviarMensagemPadraoOnLine" || name == "EnviarMensagemTemporariaOnLine") {
        const int mode = arg(1);
        if (mode != 0 && mode != 1)
            return code::BadArgument;
        if (name == "EnviarMensagemPadraoOnLine") {
            standingMode = mode;
            standingText = args[2].bytes;
            temporary.reset();
        } else {
            const int seconds = arg(3);
            if (seconds < 1 || seconds > 255)
                return code::BadArgument;
            temporary = Temporary{mode, args[2].bytes,
                                  std::chrono::steady_clock::now() + std::chrono::seconds(seconds)};
            wake.notify_all();
        }
        notifyDisplay();
        return code::Ok;
    }
    if (name == "EnviarFormasEntradasOnLine") {
        forms.clear();
        for (std::size_t i = 1; i < args.size(); ++i)
            forms.push_back(arg(i));
        return code::Ok;
    }
    if (name == "ReceberDadosOnLine") {
        if (events.empty())
            return code::NothingPending;
        const OnlineEvent event = events.front();
        events.pop_front();
        const std::string card(event.card.begin(), event.card.end());
        std::string queued = "?";
        if (eventQueuedMs.size() == events.size() + 1) {
            queued = std::to_string(eventQueuedMs.front());
            eventQueuedMs.pop_front();
        }
        recordPassage("deliver", "origin=" + std::to_string(event.origin) + " card=" + wire::hex(card) +
                                     " queued=" + queued);
        outputs = {
            std::to_string(event.origin), std::to_string(event.complement), wire::hex(card),
            std::to_string(event.day),    std::to_string(event.month),      std::to_string(event.year),
            std::to_string(event.hour),   std::to_string(event.minute),     std::to_string(event.second)};
        return code::Ok;
    }
    if (name == "LiberarCatracaEntrada" || name == "LiberarCatracaEntradaInvertida") {
        release(Arm::Entry, name);
        return code::Ok;
    }
    if (name == "LiberarCatracaSaida" || name == "LiberarCatracaSaidaInvertida") {
        release(Arm::Exit, name);
        return code::Ok;
    }
    if (name == "LiberarCatracaDoisSentidos") {
        release(Arm::Both, name);
        return code::Ok;
    }
    if (name == "TemProximoPacote") {
        if (!session.collecting)
            startCollection(session);
        const bool more = session.nextPacket < session.packetCount;
        if (!more)
            session.collecting = false; // the next collection starts afresh
        return more ? 1 : 0;
    }
    if (name == "SolicitarListaUsuariosBio") {
        if (!session.collecting)
            startCollection(session);
        if (session.nextPacket >= session.packetCount)
            return code::NothingPending;
        session.requestedPacket = session.nextPacket++;
        return code::Ok;
    }
    if (name == "ReceberPacoteListaUsuariosBio") {
        if (!session.requestedPacket)
            return code::NothingPending;
        const std::size_t size = std::max<std::size_t>(1, options.packetSize);
        const std::size_t first = *session.requestedPacket * size;
        const std::size_t last = std::min(first + size, session.snapshot.size());
        session.packet.assign(session.snapshot.begin() + static_cast<std::ptrdiff_t>(first),
                              session.snapshot.begin() + static_cast<std::ptrdiff_t>(last));
        session.cursor = 0;
        session.requestedPacket.reset();
        return code::Ok;
    }
    if (name == "TemProximoUsuario")
        return session.cursor < session.packet.size() ? 1 : 0;
    if (name == "ReceberUsuarioLista") {
        if (session.cursor >= session.packet.size())
            return code::NothingPending;
        std::string entry = session.packet[session.cursor++];
        entry.resize(kListEntrySize, '\0');
        outputs = {wire::hex(entry)};
        return code::Ok;
    }
    if (name == "IncluirUsuarioSemDigitalBio") {
        if (!validCode(args[0].bytes))
            return code::BadArgument;
        session.withoutFingerprint.push_back(args[0].bytes);
        return code::Ok;
    }
    if (name == "EnviarListaUsuariosSemDigitalBio") {
        withoutFingerprint.insert(session.withoutFingerprint.begin(), session.withoutFingerprint.end());
        session.withoutFingerprint.clear();
        return code::Ok;
    }
    if (name == "EnviarUsuarioBio") {
        const std::string& recordBytes = args[1].bytes;
        const std::string userCode = recordBytes.size() == kRecordSize
                                         ? userCodeOf(std::string_view(recordBytes).substr(1, kUserCodeSize))
                                         : "";
        if (userCode.empty()) {
            session.inclusion = code::BadArgument;
            return code::BadArgument;
        }
        users[userCode] = recordBytes;
        persist();
        session.inclusion = code::Ok;
        notify("user stored: " + printable(userCode));
        return code::Ok;
    }
    if (name == "UsuarioFoiEnviado" || name == "UsuarioFoiExcluido") {
        auto& answer = name == "UsuarioFoiEnviado" ? session.inclusion : session.deletion;
        if (!answer)
            return code::NothingPending;
        const int result = *answer;
        answer.reset();
        return result;
    }
    if (name == "SolicitarExclusaoUsuario") {
        const std::string& userCode = args[1].bytes;
        if (!validCode(userCode))
            return code::BadArgument;
        if (users.erase(userCode) > 0) {
            persist();
            session.deletion = code::Ok;
            notify("user deleted: " + printable(userCode));
        } else {
            session.deletion = code::UserNotFound;
        }
        return code::Ok;
    }
    return code::UnknownRequest;
}

void Simulator::Impl::closeSession(Session& session)
{
    if (session.open) {
        session.open = false;
        --openSessions;
        notify("link closed");
    }
}

std::optional<std::string> Simulator::Impl::handleLine(Session& session, const std::string& line)
{
    const auto tokens = wire::split(line);
    if (tokens.size() < 2)
        return std::string("0 ") + std::to_string(code::UnknownRequest);
    const bool note = tokens[0] == "~" || tokens[0] == "~closed";
    const auto sequence = note ? std::optional<long long>(0) : wire::integer(tokens[0]);
    if (!sequence || *sequence < 0)
        return std::string("0 ") + std::to_string(code::UnknownRequest);
    const std::string name(tokens[1]);

    CallRecord entry;
    entry.name = name;
    entry.note = note;
    entry.linkClosed = tokens[0] == "~closed";
    std::vector<Arg> args;
    bool malformed = false;
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        Arg a;
        if (const auto value = wire::integer(tokens[i])) {
            a.value = *value;
        } else if (auto bytes = wire::unhex(tokens[i])) {
            a.isInt = false;
            a.bytes = std::move(*bytes);
        } else {
            malformed = true;
            continue;
        }
        entry.args.push_back(a.isInt ? std::to_string(a.value) : a.bytes);
        entry.textArgs.push_back(!a.isInt);
        args.push_back(std::move(a));
    }

    std::lock_guard lock(mutex);
    if (unplugged) {
        entry.answered = false;
        record(std::move(entry));
        return std::nullopt;
    }
    std::vector<std::string> outputs;
    int result = code::BadArgument;
    const auto fault = faults.find(name);
    if (malformed) {
        result = code::BadArgument;
    } else if (fault != faults.end() && !note) {
        result = fault->second;
        refused(session, name);
    } else {
        result = dispatch(session, name, args, outputs);
    }
    entry.result = result;
    record(std::move(entry));
    if (note)
        return std::nullopt;
    std::string reply = std::to_string(*sequence) + " " + std::to_string(result);
    if (result == code::Ok)
        for (const auto& value : outputs)
            reply += " " + value;
    return reply;
}

void Simulator::Impl::serveDevice(Connection& connection)
{
    Session session;
    os::LineReader reader;
    while (!stopping) {
        std::string line;
        const os::Status status = reader.readLine(connection.socket, kMaxRequestLine, kPollMs * 2, line);
        if (status == os::Status::Timeout)
            continue;
        if (status != os::Status::Ok)
            break;
        const auto tokens = wire::split(line);
        int delay = 0;
        {
            std::lock_guard lock(mutex);
            if (tokens.size() >= 2 && !unplugged) {
                const auto found = delays.find(std::string(tokens[1]));
                delay = found == delays.end() ? 0 : found->second;
            }
        }
        for (int waited = 0; waited < delay && !stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto reply = handleLine(session, line);
        if (reply && connection.socket.sendAll(*reply + "\n", 2000) != os::Status::Ok)
            break;
    }
    std::lock_guard lock(mutex);
    closeSession(session);
    connection.done = true;
}

void Simulator::Impl::serveControl(Connection& connection, Simulator& owner)
{
    os::LineReader reader;
    while (!stopping) {
        std::string line;
        const os::Status status = reader.readLine(connection.socket, kMaxControlLine, kPollMs * 2, line);
        if (status == os::Status::Timeout)
            continue;
        if (status == os::Status::TooLong) {
            connection.socket.sendAll("ERR command too long\n", 2000);
            break;
        }
        if (status != os::Status::Ok)
            break;
        if (connection.socket.sendAll(owner.command(line), 2000) != os::Status::Ok)
            break;
    }
    connection.done = true;
}

void Simulator::Impl::acceptLoop(os::Listener& listener, bool control, Simulator& owner)
{
    while (!stopping) {
        os::Socket socket;
        const os::Status status = listener.accept(kPollMs * 2, socket);
        if (status != os::Status::Ok) {
            if (status == os::Status::Error || status == os::Status::Closed)
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = std::move(socket);
        Connection* raw = connection.get();
        std::lock_guard lock(connectionsMutex);
        // Finished connections are joined here so that a long run does not collect threads.
        for (auto it = connections.begin(); it != connections.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
        connection->thread = std::thread([this, raw, control, &owner] {
            if (control)
                serveControl(*raw, owner);
            else
                serveDevice(*raw);
        });
        connections.push_back(std::move(connection));
    }
}

void Simulator::Impl::tick()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        if (rotationDue)
            next = std::min(next, *rotationDue);
        if (temporary)
            next = std::min(next, temporary->until);
        wake.wait_until(lock, next);
        const auto now = std::chrono::steady_clock::now();
        if (rotationDue && *rotationDue <= now)
            finishRelease(true);
        if (temporary && temporary->until <= now) {
            temporary.reset();
            notifyDisplay();
        }
    }
}

Simulator::Simulator(Options options) : d(std::make_unique<Impl>())
{
    d->options = std::move(options);
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(std::uint16_t port, std::uint16_t controlPort, std::string* error)
{
    d->options.port = port;
    d->options.controlPort = controlPort;
    return start(error);
}

bool Simulator::start(std::string* error)
{
    stop();
    std::string message;
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        d->deviceListener.close();
        d->controlListener.close();
        return false;
    };
    {
        std::lock_guard lock(d->mutex);
        if (!d->loadUsers(message))
            return fail(message);
        if (!d->options.recordFile.empty() && !d->recordOut.is_open()) {
            d->recordOut.open(d->options.recordFile, std::ios::out | std::ios::app | std::ios::binary);
            if (!d->recordOut)
                return fail(d->options.recordFile + ": cannot be opened for appending");
            d->recordPassage("start", "version=1");
        }
    }
    if (!d->deviceListener.listen(d->options.port, message))
        return fail("device port " + std::to_string(d->options.port) + ": " + message);
    if (!d->controlListener.listen(d->options.controlPort, message))
        return fail("control port " + std::to_string(d->options.controlPort) + ": " + message);
    d->stopping = false;
    d->deviceAcceptor = std::thread([this] { d->acceptLoop(d->deviceListener, false, *this); });
    d->controlAcceptor = std::thread([this] { d->acceptLoop(d->controlListener, true, *this); });
    d->ticker = std::thread([this] { d->tick(); });
    d->started = true;
    return true;
}

void Simulator::stop()
{
    if (!d->started)
        return;
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        d->wake.notify_all();
    }
    d->deviceAcceptor.join();
    d->controlAcceptor.join();
    d->ticker.join();
    d->deviceListener.close();
    d->controlListener.close();
    std::vector<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard lock(d->connectionsMutex);
        connections.swap(d->connections);
    }
    for (auto& connection : connections) {
        connection->socket.shutdown();
        connection->thread.join();
    }
    std::lock_guard lock(d->mutex);
    d->openSessions = 0;
    d->started = false;
}

bool Simulator::running() const
{
    return d->started;
}
std::uint16_t Simulator::port() const
{
    return d->deviceListener.port();
}
std::uint16_t Simulator::controlPort() const
{
    return d->controlListener.port();
}

bool Simulator::linkOpen() const
{
    std::lock_guard lock(d->mutex);
    return d->openSessions > 0;
}

int Simulator::linkType() const
{
    std::lock_guard lock(d->mutex);
    return d->linkType;
}

std::vector<ConfigCall> Simulator::onlineConfig() const
{
    std::lock_guard lock(d->mutex);
    return d->onlineConfig;
}

int Simulator::configurationsSent() const
{
    std::lock_guard lock(d->mutex);
    return d->configurationsSent;
}

std::vector<int> Simulator::identificationForms() const
{
    std::lock_guard lock(d->mutex);
    return d->forms;
}

std::chrono::system_clock::time_point Simulator::clock() const
{
    std::lock_guard lock(d->mutex);
    return d->now();
}

Display Simulator::display() const
{
    std::lock_guard lock(d->mutex);
    return d->currentDisplay();
}

Arm Simulator::arm() const
{
    std::lock_guard lock(d->mutex);
    return d->arm;
}

std::string Simulator::lastRelease() const
{
    std::lock_guard lock(d->mutex);
    return d->lastRelease;
}

std::size_t Simulator::pendingEvents() const
{
    std::lock_guard lock(d->mutex);
    return d->events.size();
}

std::map<std::string, std::string> Simulator::users() const
{
    std::lock_guard lock(d->mutex);
    return d->users;
}

std::vector<std::string> Simulator::usersWithoutFingerprint() const
{
    std::lock_guard lock(d->mutex);
    return {d->withoutFingerprint.begin(), d->withoutFingerprint.end()};
}

std::vector<CallRecord> Simulator::calls() const
{
    std::lock_guard lock(d->mutex);
    return {d->calls.begin(), d->calls.end()};
}

std::vector<std::string> Simulator::callNames() const
{
    std::lock_guard lock(d->mutex);
    std::vector<std::string> names;
    for (const auto& call : d->calls)
        names.push_back(call.name);
    return names;
}

void Simulator::clearCalls()
{
    std::lock_guard lock(d->mutex);
    d->calls.clear();
}

void Simulator::presentCard(const std::string& cardBytes, int eventOrigin)
{
    std::lock_guard lock(d->mutex);
    d->queueIdentification(cardBytes, eventOrigin);
}

bool Simulator::presentFinger(const std::string& code)
{
    std::lock_guard lock(d->mutex);
    if (d->users.count(code) == 0)
        return false;
    d->queueIdentification(code, origin::Finger);
    return true;
}

bool Simulator::rotate()
{
    std::lock_guard lock(d->mutex);
    return d->finishRelease(true);
}

bool Simulator::noPass()
{
    std::lock_guard lock(d->mutex);
    return d->finishRelease(false);
}

bool Simulator::addUser(const std::string& code, const std::string& record)
{
    if (!validCode(code) || (!record.empty() && record.size() != kRecordSize))
        return false;
    std::lock_guard lock(d->mutex);
    d->users[code] = record.empty() ? makeRecord(code) : record;
    d->persist();
    return true;
}

bool Simulator::removeUser(const std::string& code)
{
    std::lock_guard lock(d->mutex);
    if (d->users.erase(code) == 0)
        return false;
    d->persist();
    return true;
}

bool Simulator::setFault(const std::string& entryPoint, int resultCode)
{
    if (!isEntryPoint(entryPoint) || entryPoint == "TemProximoUsuario" || entryPoint == "TemProximoPacote" ||
        resultCode < 0 || resultCode > 255)
        return false;
    std::lock_guard lock(d->mutex);
    if (resultCode == 0)
        d->faults.erase(entryPoint);
    else
        d->faults[entryPoint] = resultCode;
    return true;
}

void Simulator::clearFaults()
{
    std::lock_guard lock(d->mutex);
    d->faults.clear();
    d->delays.clear();
}

bool Simulator::setDelay(const std::string& entryPoint, int ms)
{
    if (!isEntryPoint(entryPoint) || ms < 0 || ms > 60000)
        return false;
    std::lock_guard lock(d->mutex);
    if (ms == 0)
        d->delays.erase(entryPoint);
    else
        d->delays[entryPoint] = ms;
    return true;
}

void Simulator::setUnplugged(bool unplugged)
{
    std::lock_guard lock(d->mutex);
    d->unplugged = unplugged;
    d->notify(unplugged ? "unplugged" : "plugged in");
}

bool Simulator::unplugged() const
{
    std::lock_guard lock(d->mutex);
    return d->unplugged;
}

void Simulator::setTimeSource(std::function<std::chrono::system_clock::time_point()> source)
{
    std::lock_guard lock(d->mutex);
    d->timeSource = std::move(source);
}

void Simulator::setObserver(std::function<void(const std::string&)> observer)
{
    std::lock_guard lock(d->mutex);
    d->observer = std::move(observer);
}

std::string Simulator::makeRecord(const std::string& code, char filler)
{
    std::string record(kRecordSize, filler);
    record[0] = '\x01';
    for (std::size_t i = 0; i < kUserCodeSize; ++i)
        record[1 + i] = i < code.size() ? code[i] : '\0';
    return record;
}

std::string Simulator::command(const std::string& line)
{
    const auto tokens = wire::split(line);
    std::ostringstream out;
    auto ok = [&] { return out.str() + "OK\n"; };
    auto err = [](const std::string& reason) { return "ERR " + reason + "\n"; };
    if (tokens.empty())
        return err("empty command (try help)");
    const std::string verb(tokens[0]);
    const std::size_t argc = tokens.size() - 1;
    auto usage = [&](const char* text) { return err(std::string("usage: ") + text); };

    if (verb == "help") {
        out << ". card NUMBER | keypad NUMBER | card-hex HEX | finger CODE\n"
               ". rotate | no-pass | display | arm | users | add-user CODE | del-user CODE\n"
               ". state | config | fault ENTRYPOINT CODE|none | fault clear | faults\n"
               ". delay ENTRYPOINT MS|none | unplug | plug | calls | calls clear\n";
        return ok();
    }
    if (verb == "card" || verb == "keypad") {
        if (argc != 1 || tokens[1].size() > kCardSize)
            return usage(verb == "card" ? "card NUMBER (at most 14 characters)"
                                        : "keypad NUMBER (at most 14 characters)");
        presentCard(std::string(tokens[1]), verb == "card" ? origin::Card : origin::Keypad);
        return ok();
    }
    if (verb == "card-hex") {
        const auto bytes = argc == 1 ? wire::unhex("h" + std::string(tokens[1])) : std::nullopt;
        if (!bytes || bytes->size() > kCardSize)
            return usage("card-hex HEX (at most 14 bytes, two hex digits each)");
        presentCard(*bytes);
        return ok();
    }
    if (verb == "finger") {
        if (argc != 1)
            return usage("finger CODE");
        if (!presentFinger(std::string(tokens[1])))
            return err("no biometric user " + std::string(tokens[1]));
        return ok();
    }
    if (verb == "rotate" || verb == "no-pass") {
        if (argc != 0)
            return usage(verb == "rotate" ? "rotate" : "no-pass");
        if (!(verb == "rotate" ? rotate() : noPass()))
            return err("the arm is locked");
        return ok();
    }
    if (verb == "display") {
        if (argc != 0)
            return usage("display");
        const Display shown = display();
        out << ". mode " << shown.mode << (shown.temporary ? " temporary" : "") << "\n"
            << ". [" << printable(shown.line1) << "]\n. [" << printable(shown.line2) << "]\n";
        return ok();
    }
    if (verb == "arm") {
        if (argc != 0)
            return usage("arm");
        const Arm state = arm();
        out << ". " << armName(state);
        if (state != Arm::Locked)
            out << " (" << lastRelease() << ")";
        out << "\n";
        return ok();
    }
    if (verb == "users") {
        if (argc != 0)
            return usage("users");
        for (const auto& user : users())
            out << ". " << printable(user.first) << "\n";
        return ok();
    }
    if (verb == "add-user" || verb == "del-user") {
        if (argc != 1 || !validCode(std::string(tokens[1])))
            return usage(verb == "add-user" ? "add-user CODE (1 to 10 characters)" : "del-user CODE");
        if (verb == "add-user")
            addUser(std::string(tokens[1]));
        else if (!removeUser(std::string(tokens[1])))
            return err("no biometric user " + std::string(tokens[1]));
        return ok();
    }
    if (verb == "state") {
        if (argc != 0)
            return usage("state");
        std::lock_guard lock(d->mutex);
        out << ". link " << (d->openSessions > 0 ? "open" : "closed") << ", type "
            << (d->linkType == 0 ? "serial" : "TCP/IP") << (d->unplugged ? ", unplugged" : "") << "\n"
            << ". configurations received " << d->configurationsSent << "\n"
            << ". clock" << d->dateTimeLine() << "\n"
            << ". arm " << armName(d->arm) << "\n"
            << ". events waiting " << d->events.size() << "\n"
            << ". biometric users " << d->users.size() << "\n";
        return ok();
    }
    if (verb == "config") {
        if (argc != 0)
            return usage("config");
        for (const auto& setting : onlineConfig()) {
            out << ". " << setting.name << "(";
            for (std::size_t i = 0; i < setting.args.size(); ++i)
                out << (i ? ", " : "") << setting.args[i];
            out << ")\n";
        }
        return ok();
    }
    if (verb == "fault") {
        if (argc == 1 && tokens[1] == "clear") {
            clearFaults();
            return ok();
        }
        if (argc != 2)
            return usage("fault ENTRYPOINT CODE|none, or fault clear");
        const std::string name(tokens[1]);
        if (!isEntryPoint(name))
            return err("unknown entry point " + name);
        const auto value = tokens[2] == "none" ? std::optional<long long>(0) : wire::integer(tokens[2]);
        if (!value || *value < 0 || *value > 255 || (tokens[2] != "none" && *value == 0))
            return err("the code must be 1 to 255, or none");
        if (!setFault(name, static_cast<int>(*value)))
            return err(name + " answers yes or no and cannot carry an error code");
        return ok();
    }
    if (verb == "faults") {
        std::lock_guard lock(d->mutex);
        for (const auto& [name, value] : d->faults)
            out << ". " << name << " " << value << "\n";
        for (const auto& [name, value] : d->delays)
            out << ". " << name << " delayed " << value << " ms\n";
        return ok();
    }
    if (verb == "delay") {
        if (argc != 2)
            return usage("delay ENTRYPOINT MS|none");
        const std::string name(tokens[1]);
        if (!isEntryPoint(name))
            return err("unknown entry point " + name);
        const auto value = tokens[2] == "none" ? std::optional<long long>(0) : wire::integer(tokens[2]);
        if (!value || *value < 0 || *value > 60000)
            return err("the delay must be 0 to 60000 ms, or none");
        setDelay(name, static_cast<int>(*value));
        return ok();
    }
    if (verb == "unplug" || verb == "plug") {
        if (argc != 0)
            return usage(verb == "unplug" ? "unplug" : "plug");
        setUnplugged(verb == "unplug");
        return ok();
    }
    if (verb == "calls") {
        if (argc == 1 && tokens[1] == "clear") {
            clearCalls();
            return ok();
        }
        if (argc != 0)
            return usage("calls, or calls clear");
        for (const auto& call : calls())
            out << ". " << call.text() << "\n";
        return ok();
    }
    return err("unknown command " + verb + " (try help)");
}

} // namespace sim
