#pragma once

#include <memory>
#include <string>

namespace zul::platform {

// A machine-wide named mutex taken for the life of the process (Windows: a kernel mutex
// created owned and never released; Linux: a lock file held with flock).
class NamedMutex
{
public:
    enum class State { Owned, AlreadyExists, Failed };

    virtual ~NamedMutex() = default;
    virtual State state() const = 0;

    // `lockDir` is used only where the mutex is a lock file; empty means the system's
    // default ($ZUL_LOCK_DIR, else $XDG_RUNTIME_DIR, else /tmp).
    static std::unique_ptr<NamedMutex> create(const std::string& name, const std::string& lockDir = {});
};

} // namespace zul::platform
