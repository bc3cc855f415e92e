#include "app/FolderModel.h"

#include <QFile>
#include <string>

#include "lib/Tesk_filesys.h"

TFolderModel::TFolderModel(QObject* parent) : QFileSystemModel(parent) {
  setOption(QFileSystemModel::DontWatchForChanges);
  setIconProvider(&FIcons);
  setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
}

bool TFolderModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return true;
  if (!isDir(parent)) return false;
  const QString path = filePath(parent);
  const auto known = FHasSubfolders.constFind(path);
  if (known != FHasSubfolders.constEnd()) return *known;
  const bool has = HasShownSubfolder(QFile::encodeName(path).toStdString());
  FHasSubfolders.insert(path, has);
  return has;
}
