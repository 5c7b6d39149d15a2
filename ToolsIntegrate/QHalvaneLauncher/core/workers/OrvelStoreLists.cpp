#include "workers/OrvelStoreLists.h"

#include "OrvelFileService.h"

// The service's lists cannot yet tell an unreadable list from an empty one;
// this is the one place to change when they can.
bool ReadAllFilesList(OrvelFileService& service, QStringList* pList, QString* pstrError)
{
    Q_UNUSED(pstrError);
    *pList = service.ListAllFilesFiltered();
    return true;
}

bool ReadPatchFilesList(OrvelFileService& service, QStringList* pList, QString* pstrError)
{
    Q_UNUSED(pstrError);
    *pList = service.ListPatchFilesFiltered();
    return true;
}
