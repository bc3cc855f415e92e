#pragma once
// The folders of the file system for the folder tree: folders only, each
// with the platform's folder icon, an expand arrow only where a folder holds
// sub-folders, and no watching of the file system.
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QHash>

// Every row is a folder, and no column shows a type: the type is one word,
// not looked up in the MIME database for every entry of every folder read
// (the model takes an empty type for one not read yet).
class TFolderIcons : public QFileIconProvider {
 public:
  QString type(const QFileInfo&) const override { return QStringLiteral("Folder"); }
};

class TFolderModel : public QFileSystemModel {
 public:
  explicit TFolderModel(QObject* parent = nullptr);

  // Whether the folder holds a folder the tree would show; asked only for
  // the rows that come into view, and answered once per folder.
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;

 private:
  TFolderIcons FIcons;
  mutable QHash<QString, bool> FHasSubfolders;
};
