// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folders of a tree, for the commands' --recursive: the folder itself and
// every folder below it, sorted by path (each folder before the folders in
// it), hidden folders and symbolic links to folders left out (a link is
// never followed, so a walk cannot run in a cycle). A folder that cannot be
// read is reported and its sub-tree left out; the walk goes on.
#include <string>
#include <vector>

struct TFolderTree {
    std::vector<std::string> Folders;  // absolute or as given, no trailing '/'
    std::vector<std::string> Problems; // "cannot read folder <path>: <reason>"
};

TFolderTree ListFolderTree(const std::string& Root);

// Path relative to Root ("" for Root itself), for the rows a recursive
// command prints.
std::string RelativeToRoot(const std::string& Root, const std::string& Path);
