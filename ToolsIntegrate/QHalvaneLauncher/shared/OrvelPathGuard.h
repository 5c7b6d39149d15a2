// Keeps writes inside the directory they are meant for when that directory holds
// symbolic links: a link "lib" -> "../outside" would carry "lib/b.so" out of it.
#pragma once

#include <QString>

// Whether the file strRelativePath under strTargetDir, with every directory on the
// way that exists resolved (links followed), lies inside the resolved target
// directory. False when a link on the way dangles; true when the target does not
// exist yet (nothing in it can be a link).
// The relative path must already be a safe one (no "..", not absolute).
bool OrvelResolvesInside(const QString& strTargetDir, const QString& strRelativePath);
