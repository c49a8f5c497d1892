#pragma once
// Start-up hardening of the process. Win32 only.

// First thing, before any DLL is loaded on demand: none is ever loaded from
// the program's folder (a share, a download folder) or the current one.
void HardenDllSearch();

// For a run over every profile, once that is known: where Windows has the
// mitigation, no junction made by a non-administrator is followed by this
// process. Not for a user's own run, whose own junctions (a User Data moved
// to another drive) must keep working. Older systems (and Wine) lack it;
// the run goes on.
void RefuseUntrustedRedirections();
