// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FolderTree.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "runtime/Application.h"
#include "runtime/Exceptions.h"
#include "runtime/FileOps.h"

namespace {

void Walk(const std::string& folder, TFolderTree& tree)
{
    if (StopRequested())
        throw EAbort("stopped");
    tree.Folders.push_back(folder);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        tree.Problems.push_back("cannot read folder " + folder + ": " + FileErrorText(errno));
        return;
    }
    std::vector<std::string> children;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            // A listing cut short must not hide the folders it did not reach.
            if (errno != 0)
                tree.Problems.push_back("cannot read folder " + folder + ": " + FileErrorText(errno));
            break;
        }
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info{};
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder)
            children.push_back(name);
    }
    ::closedir(dir);
    std::sort(children.begin(), children.end());
    for (const std::string& child : children)
        Walk(folder == "/" ? "/" + child : folder + "/" + child, tree);
}

} // namespace

TFolderTree ListFolderTree(const std::string& Root)
{
    TFolderTree tree;
    std::string root = Root.empty() ? "." : Root;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    Walk(root, tree);
    return tree;
}

std::string RelativeToRoot(const std::string& Root, const std::string& Path)
{
    std::string root = Root;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (Path == root)
        return "";
    const std::string prefix = root == "/" ? root : root + "/";
    if (Path.compare(0, prefix.size(), prefix) == 0)
        return Path.substr(prefix.size());
    return Path;
}
