#include "app/FolderModel.h"

#include <QFile>
#include <string>

#include "lib/Tesk_filesys_dir.h"

TFolderModel::TFolderModel(QObject* parent) : QFileSystemModel(parent) {
  setOption(QFileSystemModel::DontWatchForChanges);
  setIconProvider(&FIcons);
  setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
}

bool TFolderModel::HasShownSubfolder(const QString& path) {
  std::string dir = QFile::encodeName(path).toStdString();
  if (dir.empty() || dir.back() != '/') dir += '/';
  const DirHandle listing = OpenDirHandle(dir);
  if (!listing) return false;
  while (const dirent* entry = readdir(listing.get())) {
    // Dot names are "." and ".." or hidden, which the tree does not show.
    if (entry->d_name[0] == '.') continue;
    if (IsDirectoryEntry(dir, entry)) return true;
  }
  return false;
}

bool TFolderModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return true;
  if (!isDir(parent)) return false;
  const QString path = filePath(parent);
  const auto known = FHasSubfolders.constFind(path);
  if (known != FHasSubfolders.constEnd()) return *known;
  const bool has = HasShownSubfolder(path);
  FHasSubfolders.insert(path, has);
  return has;
}
