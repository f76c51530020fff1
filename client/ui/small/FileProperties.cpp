#include "client/ui/small/FileProperties.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "client/engine/CommFunc.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_FileProperties.h"

namespace {

std::string UserName(uid_t uid)
{
    std::vector<char> buf(16384);
    passwd pw{}, *found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found)
        return std::string(pw.pw_name) + " (" + std::to_string(uid) + ")";
    return std::to_string(uid);
}

std::string GroupName(gid_t gid)
{
    std::vector<char> buf(16384);
    group gr{}, *found = nullptr;
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found)
        return std::string(gr.gr_name) + " (" + std::to_string(gid) + ")";
    return std::to_string(gid);
}

std::string Count(std::int64_t n, const char* one, const char* many)
{
    return FormatThousands(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string PermissionText(unsigned mode)
{
    std::string text = S_ISDIR(mode) ? "d" : S_ISLNK(mode) ? "l" : S_ISREG(mode) ? "-" : "?";
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) text += (mode & (0400u >> i)) ? letters[i] : '-';
    auto special = [&text, mode](int at, unsigned bit, char withX, char withoutX) {
        if (mode & bit) text[std::size_t(at)] = text[std::size_t(at)] == 'x' ? withX : withoutX;
    };
    special(3, S_ISUID, 's', 'S');
    special(6, S_ISGID, 's', 'S');
    special(9, S_ISVTX, 't', 'T');
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777u);
    return text + " (" + octal + ")";
}

std::optional<TFilePropertiesInfo> ReadFileProperties(const std::string& path)
{
    namespace fs = std::filesystem;
    std::string clean = path;
    while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    struct stat link {}, st {};
    if (::lstat(clean.c_str(), &link) != 0) return std::nullopt;
    const bool isLink = S_ISLNK(link.st_mode);
    // A link shows what it points at; a dangling one itself.
    if (!isLink || ::stat(clean.c_str(), &st) != 0) st = link;

    TFilePropertiesInfo info;
    const fs::path p(clean);
    info.Name = clean == "/" ? "/" : p.filename().string();
    info.Location = clean == "/" ? "" : p.parent_path().string();
    info.IsDir = S_ISDIR(st.st_mode);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(QString::fromStdString(clean));
    info.Type = mime.comment().toStdString() + " (" + mime.name().toStdString() + ")";
    if (isLink) {
        std::error_code ec;
        info.Type += ", link to " + fs::read_symlink(clean, ec).string();
    }
    if (info.IsDir) {
        std::int64_t files = 0, folders = 0;
        std::error_code ec;
        for (fs::directory_iterator it(clean, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            (it->is_directory(ec) ? folders : files)++;
        info.Contents = ec ? "cannot be read" : Count(files, "file", "files") + ", " + Count(folders, "folder", "folders");
    } else {
        const std::int64_t size = std::int64_t(st.st_size);
        const std::string shortForm = FormatSize(size);
        info.Size = FormatBytes(size);
        if (shortForm != std::to_string(size)) info.Size = shortForm + " (" + info.Size + ")";
    }
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    info.Modified = when;
    info.Permissions = PermissionText(st.st_mode);
    info.Owner = UserName(st.st_uid);
    info.Group = GroupName(st.st_gid);
    return info;
}

TfmFileProperties::TfmFileProperties(const TFilePropertiesInfo& info, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmFileProperties>())
{
    ui->setupUi(this);
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    setWindowTitle(q(info.Name) + " Properties");
    const QString full = q(info.Location.empty() || info.Location == "/" ? info.Location + info.Name
                                                                          : info.Location + "/" + info.Name);
    ui->imIcon->setPixmap(QFileIconProvider().icon(QFileInfo(full)).pixmap(32, 32));
    ui->lbName->setText(q(info.Name));
    ui->lbLocation->setText(q(info.Location));
    ui->lbType->setText(q(info.Type));
    ui->lbSize->setText(q(info.Size));
    ui->lbContents->setText(q(info.Contents));
    ui->lbModified->setText(q(info.Modified));
    ui->lbPermissions->setText(q(info.Permissions));
    ui->lbOwner->setText(q(info.Owner));
    ui->lbGroup->setText(q(info.Group));
    // A folder has contents instead of a size.
    ui->flInfo->setRowVisible(ui->lbSize, !info.IsDir);
    ui->flInfo->setRowVisible(ui->lbContents, info.IsDir);
    ui->flInfo->setRowVisible(ui->lbLocation, !info.Location.empty());
    ConnectHandler(ui->btOK, &QPushButton::clicked, this, [this] { accept(); });
}

TfmFileProperties::~TfmFileProperties() = default;
