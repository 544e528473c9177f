// The pieces every listing command shares (LIST, NLST, MLSD, MLST, STAT with a path):
// which directory is listed, its entries, the virtual folders of the home directory,
// and sending a finished text over the data connection. Session thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/DirEntries.h"

class CControlSocket;

// A virtual folder shown in the listing of the home directory.
struct ListedFolder {
    std::string name;  // as stored, blanks at both ends removed
    std::string dir;   // its local directory
    DirEntry entry;    // that directory's attributes, named `name`
};

// The argument of LIST, NLST or STAT without its leading "ls" option words ("-la",
// "-a -l"), which clients send and the listing ignores. An entry whose name starts
// with "-" is listed by its path ("./-x"), as with other servers.
std::string WithoutListOptions(const std::string& argument);
// Resolves a listing argument (the current directory when empty) with the "dir_list"
// permission. False with the 550 reply out ("Directory not found." or "No permission.",
// quoting the argument as received).
[[nodiscard]] bool ResolveListedPath(CControlSocket& session, const std::string& argument,
                                     std::string& local);
// The entries of `local`: a file lists itself alone (the result is then false); a
// directory that cannot be read has none. True when `local` was listed as a directory.
bool ReadListedEntries(const std::string& local, std::vector<DirEntry>& entries);
// The virtual folders whose directory exists, user's then groups', in record order;
// none unless `localPath` is the home directory.
std::vector<ListedFolder> ListedFolders(CControlSocket& session, const std::string& localPath);
// The LIST lines (NLST names when `namesOnly`) of `argument`, each ending in CR LF.
// False when it cannot be listed; the 550 reply is then out.
[[nodiscard]] bool BuildListingLines(CControlSocket& session, const std::string& argument,
                                     std::vector<std::string>& lines, bool namesOnly);
// Replies 150, makes the data connection and sends `text` over it; the transfer's own
// replies end the command.
void SendListingText(CControlSocket& session, std::string text);
