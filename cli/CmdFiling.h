// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of scan, rename and undo that work on a tree (--recursive) or
// file into dated folders (--into): options parsed by the commands, the work
// done here.
#include <optional>
#include <string>

struct TTreeCommand {
    std::string Dir;
    bool Recursive = false;
    bool DryRun = false;
    bool Json = false;
    bool KeepGoing = false;
    std::string Into; // the folder pattern ("" when not filing)
    std::string To;   // the destination ("" for Dir)
    std::string BatchId;
};

// rename --into PATTERN [--to DEST] [--recursive]
int RunFileInto(const TTreeCommand& Command);
// rename --recursive: each folder of the tree renamed in place, one journal batch a folder.
int RunRenameTree(const TTreeCommand& Command);
// scan --recursive
int RunScanTree(const TTreeCommand& Command);
// undo: a filing batch when it is the one to take back (newer than the last
// rename batch, or named by --batch), with --recursive the last batch of each
// folder of the tree; nothing when the plain undo should go on.
std::optional<int> RunUndoTree(const TTreeCommand& Command);
