// SPDX-License-Identifier: Apache-2.0
#include "cook/Diagnostics.h"

#include <cstdio>

#include "Messages.h"

namespace sopcook
{
void StderrDiagnostics::report(const Diagnostic &d)
{
    if (d.kind == DiagnosticKind::Note && !myVerbose) return;
    if (d.oncePerCommand && !mySaid.insert(d.text).second) return;
    switch (d.kind)
    {
    case DiagnosticKind::Warning: return warn(d.text);
    case DiagnosticKind::Note:
    case DiagnosticKind::Output: return sopcook::note(d.text); // the free function, not Diagnostics::note
    case DiagnosticKind::Printed: return printRaw(d.text);
    case DiagnosticKind::Error: std::fprintf(stderr, "sopcook: error: %s\n", d.text.c_str()); return;
    }
}
} // namespace sopcook
