#pragma once
// Test cases that must run in a process of their own: as an ordinary user although the
// tests run as the superuser (permissions do not bind the superuser), with a mount table
// or a root folder of their own, or because they end by a signal.

#include <functional>
#include <string>

namespace genshoku::testing {

// A child's exit status that means "cannot be tried here" rather than "failed".
inline constexpr int kChildSkipped = 77;

enum class ChildOutcome { Passed, Failed, Skipped };

struct ChildResult {
  ChildOutcome outcome = ChildOutcome::Skipped;
  std::string report;      // the problems the body returned, or how the child ended
  long peakKilobytes = 0;  // the child's largest resident size (it starts as the parent's)
};

// Runs `body` in a child process made by fork. The body returns its problems (empty when
// there are none); it may end the child with _exit(kChildSkipped).
ChildResult RunInChild(const std::function<std::string()>& body);

// In a child: gives up the superuser's rights for those of the user "nobody", so that
// folder permissions bind. True when the process is unprivileged afterwards (at once, if
// it was not the superuser).
bool BecomeUnprivileged();

// In a child: a mount table of its own, not shared with the rest of the system. False when
// the system does not allow it.
bool TakeOwnMountTable();

// In a child: `folder` becomes the root folder "/" of the process (in a user namespace of
// its own when the process is not the superuser). False when the system does not allow it.
bool MakeRootFolder(const std::string& folder);

// A fresh folder under the system's temporary folder; empty on failure. For children that
// become unprivileged, which cannot enter the superuser's scratch folders.
std::string MakeScratchFolder();
void RemoveFolder(const std::string& folder);

}  // namespace genshoku::testing
