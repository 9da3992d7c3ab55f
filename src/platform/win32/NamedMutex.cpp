#include "platform/NamedMutex.h"

#include <windows.h>

namespace zul::platform {
namespace {

class KernelMutex final : public NamedMutex
{
public:
    explicit KernelMutex(const std::string& name)
    {
        m_handle = CreateMutexA(nullptr, TRUE, name.c_str());
        const DWORD error = GetLastError();
        if (m_handle && error == ERROR_ALREADY_EXISTS) {
            m_state = State::AlreadyExists;
        } else if (m_handle) {
            m_state = State::Owned;
        } else {
            // Refused access means the name exists, created by another account (the service).
            m_state = error == ERROR_ACCESS_DENIED ? State::AlreadyExists : State::Failed;
        }
        if (m_state != State::Owned && m_handle) {
            CloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

    ~KernelMutex() override
    {
        if (m_handle)
            CloseHandle(m_handle);
    }

    KernelMutex(const KernelMutex&) = delete;
    KernelMutex& operator=(const KernelMutex&) = delete;

    State state() const override { return m_state; }

private:
    HANDLE m_handle = nullptr;
    State m_state = State::Failed;
};

} // namespace

std::unique_ptr<NamedMutex> NamedMutex::create(const std::string& name, const std::string&)
{
    return std::make_unique<KernelMutex>(name);
}

} // namespace zul::platform
