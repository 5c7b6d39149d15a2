// The file lists of a store version that the workers act on, without the
// launcher's own directory. A list that cannot be read must end a run as a
// failure: taken as empty it would let a run "succeed" with nothing written.
#pragma once

#include <QString>
#include <QStringList>

class OrvelFileService;

// Every file of the service's version. False with *pstrError when unreadable.
bool ReadAllFilesList(OrvelFileService& service, QStringList* pList, QString* pstrError);
// The files stored anew in the service's version.
bool ReadPatchFilesList(OrvelFileService& service, QStringList* pList, QString* pstrError);
