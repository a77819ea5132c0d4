#include "host/data_path.h"

#include "host/logger.h"

PathVerdict JudgePath(const PathFacts& facts, PathKind kind) {
  if (!facts.exists) return PATH_MISSING;
  // Checked first: a link's own owner and kind say nothing of where it leads.
  if (facts.reparsePoint) return PATH_REPARSE_POINT;
  if (facts.directory != (kind == PATH_KIND_FOLDER)) return PATH_WRONG_KIND;
  if (!facts.trustedOwner) return PATH_FOREIGN_OWNER;
  return PATH_FINE;
}

const wchar_t* PathVerdictText(PathVerdict verdict) {
  switch (verdict) {
    case PATH_FINE:
      return L"is fit to use";
    case PATH_MISSING:
      return L"does not exist";
    case PATH_UNREADABLE:
      return L"cannot be examined";
    case PATH_REPARSE_POINT:
      return L"is a junction or link";
    case PATH_WRONG_KIND:
      return L"is not of the kind expected (a file for a folder, or a folder for a file)";
    case PATH_FOREIGN_OWNER:
      return L"is owned by an account other than SYSTEM or Administrators";
  }
  return L"is refused";
}

bool DataPathUsable(const std::wstring& path, PathKind kind, bool missingFine, std::wstring* why) {
  PathFacts facts;
  const int read = ReadPathFacts(path.c_str(), &facts);
  const PathVerdict verdict = read < 0 ? PATH_UNREADABLE : JudgePath(facts, kind);
  if (verdict == PATH_FINE || (verdict == PATH_MISSING && missingFine)) return true;
  const std::wstring text = path + L" " + PathVerdictText(verdict) + L": it is not used";
  Logger::Instance()->Write(L"ERROR: %ls", text.c_str());
  if (why) *why = text;
  return false;
}
