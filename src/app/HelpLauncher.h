#pragma once

#include <QString>

struct AppState;

// The help document's name, installed in <prefix>/share/quorvane/ and copied
// to <build>/share/quorvane/ in the build tree.
inline constexpr char kHelpDocumentName[] = "quorvane.html";

// Where the help document lies for a program in programFolder (its bin/
// folder): ../share/quorvane/ beside it, in the build tree and in an installed
// prefix alike.
QString HelpDocumentPath(const QString &programFolder);

// Opens the help document at helpPath in the user's browser. Returns whether
// the browser was asked to show it. A missing document or a failed open sets
// state.helpUnavailable; from then on every call returns false at once,
// without a message, for the rest of the run.
bool LaunchHelp(AppState &state, const QString &helpPath);
