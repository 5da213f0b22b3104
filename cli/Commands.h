// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subcommands of quillon-cli. Each lives in its own Cmd<Name>.cpp and takes
// argc/argv with argv[0] being its own name. Add a declaration and a line to
// QUILLON_CLI_COMMANDS for each new one.

int RunInfo(int argc, char** argv);
int RunScan(int argc, char** argv);
int RunRename(int argc, char** argv);
int RunTables(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunMap(int argc, char** argv);
int RunPicture(int argc, char** argv);
int RunUndo(int argc, char** argv);
int RunHistory(int argc, char** argv);
int RunWatch(int argc, char** argv);
int RunCatalog(int argc, char** argv);

#define QUILLON_CLI_COMMANDS \
    {"scan", "list the non-standard MPD files of a folder beside their proposed names", RunScan}, \
    {"rename", "rename the non-standard MPD files of a folder to their proposed names", RunRename}, \
    {"undo", "take back the last rename batch (of a folder, or a named batch)", RunUndo}, \
    {"history", "list the journaled rename batches, newest first", RunHistory}, \
    {"watch", "rename new MPD files of a receiving folder as they arrive", RunWatch}, \
    {"catalog", "catalogue archive trees and ask what was received, missing or stored twice", RunCatalog}, \
    {"map", "convert between geographic positions and map pixels; show map settings", RunMap}, \
    {"picture", "describe, convert or dump GIF, PNG and BMP pictures", RunPicture}, \
    {"info", "identify satellite image files and propose their standard names", RunInfo}, \
    {"tables", "dump the reference tables: satellites, segments, calibration", RunTables}, \
    {"sample", "write a demo folder of sample MPD files", RunSample}, \
    {"version", "show the version resource of an executable or a Windows PE file", RunVersion},
