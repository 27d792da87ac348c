#pragma once

#include <string>

namespace tolvane::test {

// The texts of an erase run as they read on a machine whose temporary folder needs no medium
// note. Every folder a test makes lies under TMPDIR, so on an overlay root (a container) or a
// /tmp held in memory every confirmation and closing report also carries that volume's note.
// The note lines of TMPDIR's own volume go; a notes heading left with no note under it goes
// too, with the empty line before it. Notes of the volumes a test mounts itself stay.
std::string WithoutHostNotes(const std::string& text);

}  // namespace tolvane::test
