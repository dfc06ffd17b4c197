// Links below the folders the elevated program writes to and deletes from.
// A folder that other users may change can receive a junction or symbolic
// link at any time; a write or a deletion through it would reach whatever it
// points at, with administrator rights.
#pragma once

#include <windows.h>

#include "base/Str.h"

// The reason given when a link is met ("The create operation stopped after
// reaching a symbolic link."); older headers lack it.
#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

// Whether `path` lies strictly below `folder`, compared as written (case
// aside).
bool IsPathBelow(const wchar_t* path, const wchar_t* folder);

// The folder `path` names its last component in (without a trailing
// backslash: "C:" for "C:\Apps"); false for a path without a backslash.
bool GetParentFolder(const wchar_t* path, CStr& parent);

// Whether no component of `path` below `root` is a reparse point (junction,
// symbolic link, mount point). `path` itself counts; a component that does
// not exist ends the walk, as nothing below it exists either. False with
// ERROR_STOPPED_ON_SYMLINK at a link, ERROR_BAD_PATHNAME when `path` does not
// lie below `root`. Installing and removing use the installation folder's
// parent as `root`, so the installation folder itself is checked as well.
bool IsFreeOfLinks(const wchar_t* path, const wchar_t* root);

// IsFreeOfLinks for the folders of many files: a folder found free once is
// not walked again, and a new folder is walked only below the deepest one
// already found free. Links swapped in later are the business of the file
// opens (see CConfinedFolder).
class CLinkFreeFolders {
public:
    explicit CLinkFreeFolders(const wchar_t* root) : m_root(root) {}
    CLinkFreeFolders(const CLinkFreeFolders&) = delete;
    CLinkFreeFolders& operator=(const CLinkFreeFolders&) = delete;

    bool Check(const wchar_t* folder);

private:
    static const unsigned MAX_KNOWN = 64;

    TStrStatic<MAX_PATH> m_root;
    wchar_t m_known[MAX_KNOWN][MAX_PATH] = {};
    unsigned m_nKnown = 0;
    unsigned m_nNext = 0; // the slot replaced next once all are used
    unsigned m_nLast = 0; // the slot found last: files come folder by folder
};
