#pragma once
// What makes a folder or file in the program's data folder fit to use. The
// program runs as SYSTEM beside standard users: whatever it writes, renames or
// deletes there must be something no standard user could have put in its way.
// A path is used only when it is no reparse point (a junction or link would
// send the program's writes elsewhere), is of the kind expected, and belongs
// to SYSTEM, to Administrators, or to the account the program runs as (who
// gains nothing by deceiving it).

#include <string>

// What the file system says of a path (data_path_win32.cpp / _posix.cpp).
struct PathFacts {
  bool exists = false;
  bool directory = false;
  bool reparsePoint = false;  // junction, symbolic link, mount point
  bool trustedOwner = false;  // SYSTEM, Administrators or this program's account
};

enum PathVerdict {
  PATH_FINE,
  PATH_MISSING,
  PATH_UNREADABLE,  // its facts could not be read
  PATH_REPARSE_POINT,
  PATH_WRONG_KIND,  // a file where a folder belongs, or the other way round
  PATH_FOREIGN_OWNER,
};

enum PathKind { PATH_KIND_FOLDER, PATH_KIND_FILE };

PathVerdict JudgePath(const PathFacts& facts, PathKind kind);
// Why a path is refused, for the ERROR line ("is a junction or link"...).
const wchar_t* PathVerdictText(PathVerdict verdict);

// 1 and the facts; 0 (facts: not existing) when the path does not exist;
// -1 when they cannot be read.
int ReadPathFacts(const wchar_t* path, PathFacts* facts);
// Reads and judges `path`; a missing path passes when `missingFine`. A refused
// one is logged as an "ERROR:" line, whose text goes to `why` when given.
bool DataPathUsable(const std::wstring& path, PathKind kind, bool missingFine, std::wstring* why = nullptr);

// Makes the folder with a protected DACL of its own (SYSTEM and Administrators
// full control, Users read), owned by Administrators, inheriting nothing from
// its parent; natively a plain folder. 1 on success, 0 (system error set)
// otherwise, also when it exists already.
int CreateProtectedFolder(const wchar_t* path);
// The descriptor CreateProtectedFolder gives the folder, as SDDL.
constexpr const wchar_t* PROTECTED_FOLDER_SDDL = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
