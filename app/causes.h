#pragma once
// What each failure cause (netinfo/failure_cause.h) is called, and what to
// do about it, in the user's words. The sentences are written in English
// and translated through Qt's translation system (causes_ja.ts): the
// command line follows the locale, one language per line; the window is
// Japanese and installs the Japanese translation whatever the locale.
#include <QString>
#include <QStringList>

#include "diagnosis.h"
#include "failure_cause.h"

namespace causes {

// What went wrong. For kNameNotFound, detail names the methods asked.
QString What(netinfo::Cause cause, const std::string& detail = {});
// What the user can do about it. smb1Offer: the program can use SMB1 for
// this computer with the user's consent (not on Windows, where the system's
// client decides); withDialog: the window, which can ask for a login.
QString ToDo(netinfo::Cause cause, bool withDialog, bool smb1Offer);

// The diagnosis as lines for people, one per layer with the time it took,
// and what to do at the layer that failed; withDialog and smb1Offer as for
// ToDo.
QStringList DiagnosisLines(const netinfo::Diagnosis& diagnosis, bool withDialog, bool smb1Offer);

// Why the companion library could not turn query into an address (or, for
// reverse, an address into a name), from its result code (mirelka.h), in
// the locale's words rather than the library's own Japanese.
QString LookupFailure(int code, bool reverse, const std::string& query);

// One layer's line without its mark and time.
QString LayerText(const netinfo::Diagnosis& diagnosis, const netinfo::LayerResult& layer);

// How a name led to its address, in words ("DNS", "NetBIOS"...).
QString SourceWords(netinfo::NameSource source);

// Installs the translation into the application: the locale's language
// for the command line, Japanese for the window. False when there is none
// for that language (English is the source text).
bool InstallTranslation(bool japanese);

// Whether the locale the command line runs under is Japanese.
bool JapaneseLocale();

}  // namespace causes
