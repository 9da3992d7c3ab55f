#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace zul {

// Who works on the link to the controller.
enum class LinkHolder {
    None,
    // StartConnection setting the link up, before its online loop runs.
    Connection,
    OnlineLoop,
    Synchronisation,
    Clearing,
    QueueStep,
};

// Says who owns the link to the controller, and keeps a start of the online connection asked for
// while it is owned. Every wait for the controller dispatches window messages, so a timer, a menu
// command or a socket event can ask for the link while an operation is half-way through its
// calls; two operations interleaving their calls (a port closed under an inclusion, a second
// loop carrying out the first one's queued change) is what this guards against.
//
// At most one operation owns the link. The online loop is the exception that makes the rule
// workable: a synchronisation, clearing or queue step may run on the loop's link while the loop
// waits under it, since the loop makes no call of its own until that operation has returned (and
// the operation asks it to stop or restart when it must). A start of the connection is never
// nested: while the link is owned it is only recorded, and carried out once the link is free.
class LinkOwnership
{
public:
    // The link held for one operation; given back when the claim goes out of scope.
    class Claim
    {
    public:
        Claim(Claim&& other) noexcept;
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        // Gives back the link held so far and takes over the other's.
        Claim& operator=(Claim&& other) noexcept;
        ~Claim();

        // StartConnection hands its set-up claim over to the online loop it runs.
        void becomes(LinkHolder holder);

    private:
        friend class LinkOwnership;
        Claim(LinkOwnership& owner, bool inner) : m_owner(&owner), m_inner(inner) {}
        LinkOwnership* m_owner;
        bool m_inner;
    };

    // Run when the link has become free while a start was waiting; the start request itself
    // is then cleared. The device binding enables `tmrInicializa` here, so the start runs from
    // the window's own message loop a second later and never from inside the owner's stack.
    std::function<void()> onFreeWithDeferredStart;

    // The operation working on the link now: the innermost one.
    LinkHolder holder() const { return m_inner != LinkHolder::None ? m_inner : m_base; }
    bool isFree() const { return holder() == LinkHolder::None; }
    // True while the online loop runs, whatever runs on its link at the moment.
    bool loopHoldsLink() const { return m_base == LinkHolder::OnlineLoop; }

    // Claims the link for `who` (anything but None and OnlineLoop, which only a Connection
    // claim becomes). Granted when the link is free; a synchronisation, clearing or queue step
    // is also granted on the online loop's link while nothing else runs on it. Nothing when
    // refused.
    std::optional<Claim> claim(LinkHolder who);

    // A start of the online connection asked for while the link is owned. True when this is
    // the first one since the last start ran or was cancelled.
    bool deferStart();
    bool startDeferred() const { return m_startDeferred; }
    // The operator closed the connection: a start asked for earlier must not undo it.
    void cancelDeferredStart() { m_startDeferred = false; }

    // The name of a holder for the log.
    static QString holderName(LinkHolder holder);

private:
    void release(bool inner);

    LinkHolder m_base = LinkHolder::None;
    LinkHolder m_inner = LinkHolder::None;
    bool m_startDeferred = false;
};

} // namespace zul
