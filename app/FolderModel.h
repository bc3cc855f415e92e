#pragma once
// The folders of the file system for the folder tree: folders only, each
// with the platform's folder icon, an expand arrow only where a folder holds
// sub-folders, and no watching of the file system.
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QHash>

class TFolderModel : public QFileSystemModel {
 public:
  explicit TFolderModel(QObject* parent = nullptr);

  // Whether the folder holds a folder the tree would show; asked only for
  // the rows that come into view, and answered once per folder.
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;

 private:
  QFileIconProvider FIcons;
  mutable QHash<QString, bool> FHasSubfolders;
};
