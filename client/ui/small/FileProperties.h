#pragma once
// The properties of a local file or folder, read-only: the host has no
// property sheet of its own to show.
#include <QDialog>
#include <memory>
#include <optional>
#include <string>

namespace Ui { class TfmFileProperties; }

struct TFilePropertiesInfo {
    std::string Name, Location, Type;
    std::string Size;        // files: short form and bytes, "12KB (12,345 bytes)"
    std::string Contents;    // folders: "3 files, 1 folder"
    std::string Modified;    // local time, "2026-12-10 15:04:05"
    std::string Permissions; // "-rw-r--r-- (0644)"
    std::string Owner, Group;
    bool IsDir = false;
};

// What the dialog shows for path; nullopt (with errno set) when it cannot be read.
std::optional<TFilePropertiesInfo> ReadFileProperties(const std::string& path);
// "-rwxr-x--- (0750)", with the set-id and sticky bits in both forms.
std::string PermissionText(unsigned mode);

class TfmFileProperties : public QDialog {
public:
    TfmFileProperties(const TFilePropertiesInfo& info, QWidget* parent = nullptr);
    ~TfmFileProperties() override;

private:
    std::unique_ptr<Ui::TfmFileProperties> ui;
};
