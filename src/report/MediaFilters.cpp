#include "MediaFilters.h"

#include "platform/FileNames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace kq {

namespace {
QStringList Split(const char* patterns) {
    QStringList list;
    for (const QString& p :
         QString::fromLatin1(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        list.append(p.trimmed());
    return list;
}
} // namespace

QList<MediaFilter> MediaFileFilters() {
    static const char* const video =
        "*.avi;*.ogg;*.wmv;*.asf;*.dic;*.mpg;*.mpeg;*.qt;*.mov;*.m1v;*.m2v;*.ts;*.m2ts;*.mp4;"
        "*.3gp;*.flv;*.rv;*.rm;*.rmvb;*.mkv;*.pmp;*.nut;*.dsm;*.roq;*.divx;*.vob";
    static const struct {
        const char* title;
        const char* patterns;
    } table[] = {
        {nullptr, video},
        {"Still Images(*.bmp;*.jpg;*.jpeg;*.png;*.tiff)", "*.bmp;*.jpg;*.jpeg;*.png;*.tiff"},
        {"MPEG Files (*.mpg;*.mpeg;*.m2v;*.m1v;*.m2ts;*.ts;*.vob)",
         "*.mpg;*.mpeg;*.m2v;*.m1v;*.m2ts;*.ts;*.vob"},
        {"Windows Media Files (*.asf; *.wmv)", "*.asf; *.wmv"},
        {"ISO files (*.mp4;*.3gp)", "*.mp4;*.3gp"},
        {"FLV files (*.flv)", "*.flv"},
        {"Real Media (*.rv;*.rm;*.rmvb)", "*.rv;*.rm;*.rmvb"},
        {"AVI files (*.avi)", "*.avi"},
        {"All Files (*.*)", "*.*;"},
    };
    QList<MediaFilter> filters;
    for (const auto& row : table) {
        const QString title = row.title
                                  ? QString::fromLatin1(row.title)
                                  : QStringLiteral("Video Files (%1)").arg(QLatin1String(video));
        filters.append({title, Split(row.patterns)});
    }
    return filters;
}

QStringList MediaFileExtensions() {
    static const QStringList extensions = [] {
        QStringList list;
        const QList<MediaFilter> filters = MediaFileFilters();
        for (int i = 0; i < 2; ++i) // the video and the still-image filters
            for (const QString& pattern : filters[i].patterns)
                list.append(pattern.mid(2).toLower());
        return list;
    }();
    return extensions;
}

bool IsMediaFileName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix();
    return !suffix.isEmpty() && MediaFileExtensions().contains(suffix.toLower());
}

namespace {
// By hand rather than with QDirIterator, which hands names over as text and so loses a name
// that is not UTF-8.
void Walk(const QByteArray& directory, std::vector<QByteArray>* files) {
    DIR* dir = ::opendir(directory.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = (directory.endsWith('/') ? directory : directory + '/') + name;
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            Walk(path, files);
        else if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                 IsMediaFileName(QString::fromLatin1(name)))
            files->push_back(path);
    }
    ::closedir(dir);
}
} // namespace

QList<QByteArray> CollectMediaFiles(const QByteArray& directory) {
    std::vector<QByteArray> files;
    Walk(kq::platform::AbsoluteFileName(directory), &files);
    std::sort(files.begin(), files.end());
    return QList<QByteArray>(files.begin(), files.end());
}

bool IsDirectory(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace kq
