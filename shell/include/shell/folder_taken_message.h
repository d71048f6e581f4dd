#pragma once
// What Calidra says when another station already runs from its folder: who holds it and what the
// operator can do (stop that station, or watch its picture through the stream instead).

#include "lifecycle/folder_lock_holder.h"

#include <QString>

namespace calidra {

QString folderTakenMessage(const QString& folder, const FolderLockHolder& holder);

} // namespace calidra
