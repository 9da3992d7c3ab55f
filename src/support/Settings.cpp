#include "support/Settings.h"

#include "support/Error.h"
#include "support/Messages.h"
#include "support/Win1252.h"

#include <QtEndian>
#include <bit>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

const QDate kOleEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86'400'000;
// 1 January 100 to 31 December 9999: the calendar range of a stored date-time.
constexpr double kOleMin = -657'434.0;
constexpr double kOleMax = 2'958'466.0;

[[noreturn]] void fail(const char16_t* format, const QString& name)
{
    QString text = QString::fromUtf16(format);
    text.replace(u"%s"_s, name);
    throw Error(text);
}

[[noreturn]] void readFailed(const QString& name)
{
    fail(u"Falha ao buscar dados de '%s'", name);
}

[[noreturn]] void wrongType(const QString& name)
{
    fail(u"Tipo de dado inválido para '%s'", name);
}

[[noreturn]] void writeFailed(const QString& name)
{
    fail(u"Falha ao atribuir dados ao '%s'", name);
}

} // namespace

SettingsStore::SettingsStore(const TMessages& messages, platform::RegistryStore store)
    : m_messages(messages), m_store(std::move(store))
{}

std::unique_ptr<platform::RegistryKey> SettingsStore::openKey() const
{
    return platform::openLocalMachineKey(m_store, KeyPath, true);
}

QString SettingsStore::valueName(const char16_t* catalogueKey) const
{
    return m_messages.Lookup(QString::fromUtf16(catalogueKey));
}

std::optional<bool> SettingsStore::readLogSwitch() const
{
    const auto key = openKey();
    if (!key)
        return std::nullopt;
    const auto value = key->readDWord(toWin1252String(valueName(u"LOG_CATRACA")));
    if (!value)
        return std::nullopt;
    return *value != 0;
}

void SettingsStore::writeLogSwitch(bool on)
{
    const QString name = valueName(u"LOG_CATRACA");
    const auto key = openKey();
    if (!key || !key->writeDWord(toWin1252String(name), on ? 1 : 0))
        writeFailed(name);
}

QString SettingsStore::readProfileCode() const
{
    return readText(valueName(u"PORTA_ADO"));
}

void SettingsStore::writeProfileCode(const QString& code)
{
    const QString name = valueName(u"PORTA_ADO");
    const auto key = openKey();
    if (!key || !key->writeString(toWin1252String(name), toWin1252String(code)))
        writeFailed(name);
}

QString SettingsStore::readText(const QString& name) const
{
    const auto key = openKey();
    if (!key)
        return {};
    const std::string rawName = toWin1252String(name);
    const auto type = key->valueType(rawName);
    if (!type)
        return {};
    if (*type != platform::ValueType::String)
        wrongType(name);
    const auto value = key->readString(rawName);
    if (!value)
        readFailed(name);
    return fromWin1252(*value);
}

void SettingsStore::writeText(const QString& name, const QString& text)
{
    const auto key = openKey();
    if (!key)
        writeFailed(name);
    if (text.isEmpty()) {
        // Removing a value that is not there is no error.
        key->deleteValue(toWin1252String(name));
        if (key->valueType(toWin1252String(name)))
            writeFailed(name);
        return;
    }
    if (!key->writeString(toWin1252String(name), toWin1252String(text)))
        writeFailed(name);
}

QString SettingsStore::readNotificationListenAddress() const
{
    return readText(QString::fromLatin1(NotificationListenValue));
}

void SettingsStore::writeNotificationListenAddress(const QString& address)
{
    writeText(QString::fromLatin1(NotificationListenValue), address);
}

QString SettingsStore::readNotificationClients() const
{
    return readText(QString::fromLatin1(NotificationClientsValue));
}

void SettingsStore::writeNotificationClients(const QString& clients)
{
    writeText(QString::fromLatin1(NotificationClientsValue), clients);
}

bool SettingsStore::hasScheduledSync() const
{
    const auto key = openKey();
    return key && key->valueType(toWin1252String(valueName(u"BIO_AGENDA"))).has_value();
}

std::optional<QDateTime> SettingsStore::readScheduledSync() const
{
    const QString name = valueName(u"BIO_AGENDA");
    const auto key = openKey();
    if (!key)
        return std::nullopt;
    const std::string rawName = toWin1252String(name);
    const auto type = key->valueType(rawName);
    if (!type)
        return std::nullopt;
    if (*type != platform::ValueType::Binary)
        wrongType(name);
    const auto bytes = key->readBinary(rawName);
    if (!bytes)
        readFailed(name);
    if (bytes->size() != sizeof(double))
        wrongType(name);
    quint64 bits = 0;
    std::memcpy(&bits, bytes->data(), sizeof bits);
    const QDateTime when = fromOleDate(std::bit_cast<double>(qFromLittleEndian(bits)));
    // Eight bytes that are no date at all (not a number, out of every calendar) are as
    // unreadable as a value of the wrong type.
    if (!when.isValid())
        wrongType(name);
    return when;
}

void SettingsStore::writeScheduledSync(const QDateTime& when)
{
    const QString name = valueName(u"BIO_AGENDA");
    if (!when.isValid())
        writeFailed(name);
    const quint64 bits = qToLittleEndian(std::bit_cast<quint64>(toOleDate(when)));
    std::vector<std::uint8_t> bytes(sizeof bits);
    std::memcpy(bytes.data(), &bits, sizeof bits);
    const auto key = openKey();
    if (!key || !key->writeBinary(toWin1252String(name), bytes))
        writeFailed(name);
}

void SettingsStore::deleteScheduledSync()
{
    // Removing a schedule that is not there is no error.
    if (const auto key = openKey())
        key->deleteValue(toWin1252String(valueName(u"BIO_AGENDA")));
}

double SettingsStore::toOleDate(const QDateTime& when)
{
    const double days = double(kOleEpoch.daysTo(when.date()));
    const double fraction = double(when.time().msecsSinceStartOfDay()) / double(kMsPerDay);
    // Before the epoch the whole part counts back and the fraction still counts forward from
    // midnight: -1.25 is 29 December 1899, 06:00.
    return days < 0 ? days - fraction : days + fraction;
}

QDateTime SettingsStore::fromOleDate(double days)
{
    if (!std::isfinite(days) || days <= kOleMin || days >= kOleMax)
        return {};
    const double whole = std::trunc(days);
    qint64 dayCount = qint64(whole);
    qint64 ms = std::llround(std::fabs(days - whole) * double(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++dayCount; // rounded up to the next midnight, on either side of the epoch
    }
    return QDateTime(kOleEpoch.addDays(dayCount), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

} // namespace zul
