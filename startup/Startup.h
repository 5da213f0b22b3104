// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up and shut-down of the library's units, shared by `quillon` and
// `quillon-cli`. InitializeUnits runs each unit initialisation once, in the
// documented order; FinalizeUnits runs the finalisations in reverse. Both are
// idempotent, so a test may call them freely.

void InitializeUnits();
void FinalizeUnits();

// Initialises on construction and finalises on destruction.
class TUnitLifetime {
public:
    TUnitLifetime() { InitializeUnits(); }
    ~TUnitLifetime() { FinalizeUnits(); }
    TUnitLifetime(const TUnitLifetime&) = delete;
    TUnitLifetime& operator=(const TUnitLifetime&) = delete;
};
