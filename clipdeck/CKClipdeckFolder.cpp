// The board on disk: its folder, loading every board and one board, the check of its cache
// folder, writing its document (at once, or a second after the last change), and moving and
// deleting its folder.
#include "clipdeck/CKClipdeck.h"

#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

const QString kSkippedSuffix = QStringLiteral("-skipped");

QString boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// The number a board folder's name stands for: "N.clipdeck" with N written as the program
// writes it (no sign, no leading zeros). Other names ("tmp.clipdeck") stand for none.
std::optional<std::size_t> folderNumber(const QString& name)
{
    const QString base = name.chopped(CKClipdeck::BundleExtension.size() + 1);
    bool ok = false;
    const qulonglong number = base.toULongLong(&ok);
    if (!ok || QString::number(number) != base)
        return std::nullopt;
    return std::size_t(number);
}

// A positive count of the grid from the first child of that name; nothing when it has none.
std::optional<std::size_t> gridCount(const XMLElement& root, const QString& name)
{
    const XMLElement* child = root.firstElementForName(name);
    if (!child)
        return std::nullopt;
    bool ok = false;
    const qulonglong count = child->stringValue().trimmed().toULongLong(&ok);
    if (!ok || count == 0 || count > CKClipdeck::kMaximumCells)
        return std::nullopt;
    return std::size_t(count);
}

Error loadError(CKClipdeck::LoadErrorCode code, const QString& folder, QString detail)
{
    while (detail.endsWith(u'.'))
        detail.chop(1);
    Error error(CKClipdeck::ErrorDomain, code, QStringLiteral("Clipdeck could not be loaded"),
                QStringLiteral("The document of the clipdeck \u201c%1\u201d is damaged: %2.")
                    .arg(QFileInfo(folder).fileName(), detail));
    error.userInfo.insert(QStringLiteral("path"), folder);
    return error;
}

// The root of the document of a board folder, checked: nothing, with *error set when the
// document is damaged (and left unset when there is no document).
std::optional<XMLElement> readDocument(const QString& folder, Error* error)
{
    const QString documentPath = folder + "/" + CKClipdeck::ContentsFileName;
    QFile file(documentPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString parseError;
    std::optional<XMLElement> root = XMLElement::fromXMLData(file.readAll(), &parseError);
    if (!root) {
        setError(error, loadError(CKClipdeck::DocumentDoesNotParse, folder, parseError));
        return std::nullopt;
    }
    const std::optional<std::size_t> rows = gridCount(*root, QStringLiteral("rows"));
    const std::optional<std::size_t> columns = gridCount(*root, QStringLiteral("columns"));
    if (!rows || !columns || *rows * *columns > CKClipdeck::kMaximumCells) {
        setError(error, loadError(CKClipdeck::DocumentLacksGrid, folder,
                                  QStringLiteral("it has no valid row or column count")));
        return std::nullopt;
    }
    return root;
}

// Moves a folder the load skipped out of the way of board numbers, under its name with
// "-skipped" (and a number, when that is taken). Answers where it went (empty: nowhere).
QString moveAside(const QString& folder)
{
    QString target = folder + kSkippedSuffix;
    for (int attempt = 2; QFileInfo::exists(target); ++attempt)
        target = folder + kSkippedSuffix + "-" + QString::number(attempt);
    if (!QDir().rename(folder, target)) {
        qWarning("Could not move the clipdeck folder %s aside", qPrintable(folder));
        return {};
    }
    return target;
}

} // namespace

// Folders -----------------------------------------------------------------------------------

QString CKClipdeck::clipdecksFolder() { return StandardPaths::applicationSupportFolder(); }

QString CKClipdeck::pathForBundleAtIndex(std::size_t index)
{
    return clipdecksFolder() + QStringLiteral("/%1.").arg(qulonglong(index)) + BundleExtension;
}

QString CKClipdeck::path() const { return mIsDeleted ? QString() : pathForBundleAtIndex(mBoardIndex); }

QString CKClipdeck::cachedPath() const { return pathForBundleAtIndex(mBoardIndex) + "/" + CacheFolderName; }

// Loading ------------------------------------------------------------------------------------

QList<std::shared_ptr<CKClipdeck>> CKClipdeck::loadAllClipdecks(QList<Error>* failures)
{
    const QString folder = clipdecksFolder();
    const bool made = QDir().mkpath(folder);
    const QFileInfo folderInfo(folder);
    if (!made || !folderInfo.isReadable() || !folderInfo.isExecutable()) {
        throw CKUnableToLoadClipdecksException(
            Error(Error::POSIXDomain, EACCES, QStringLiteral("The folder \u201c%1\u201d cannot be read.").arg(folder)));
    }
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return compareNumerically(a, b) < 0; });

    QList<std::shared_ptr<CKClipdeck>> clipdecks;
    // A folder that does not load is moved out of the way, so that no board is ever written
    // into it and no later board takes its number.
    const auto skip = [failures](const QString& boardFolder, Error error) {
        const QString aside = moveAside(boardFolder);
        if (!error)
            return;
        error.localizedFailureReason +=
            QStringLiteral(" The folder was left as it was, as \u201c%1\u201d.").arg(QFileInfo(aside).fileName());
        error.userInfo.insert(QStringLiteral("path"), aside);
        qWarning("%s", qPrintable(error.localizedFailureReason));
        if (failures)
            failures->append(error);
    };
    QStringList unnumbered;
    for (const QString& name : std::as_const(names)) {
        if (QFileInfo(name).suffix() != BundleExtension)
            continue;
        const QString boardFolder = folder + "/" + name;
        const std::optional<std::size_t> number = folderNumber(name);
        if (!number) {
            unnumbered.append(boardFolder);
            continue;
        }
        Error error;
        const std::shared_ptr<CKClipdeck> clipdeck = initByLoadingIndex(*number, &error);
        if (!clipdeck) {
            skip(boardFolder, error);
            continue;
        }
        if (*number != std::size_t(clipdecks.size()))
            clipdeck->moveFromIndex(*number, std::size_t(clipdecks.size()));
        clipdecks.append(clipdeck);
    }
    // A folder left under another name (a reorder cut short) comes in as a new board.
    for (const QString& boardFolder : std::as_const(unnumbered)) {
        Error error;
        if (!readDocument(boardFolder, &error)) {
            skip(boardFolder, error);
            continue;
        }
        const std::size_t number = std::size_t(clipdecks.size());
        if (!moveFromPath(boardFolder, pathForBundleAtIndex(number)))
            continue;
        if (const std::shared_ptr<CKClipdeck> clipdeck = initByLoadingIndex(number, &error))
            clipdecks.append(clipdeck);
        else
            skip(pathForBundleAtIndex(number), error);
    }
    for (const std::shared_ptr<CKClipdeck>& clipdeck : std::as_const(clipdecks))
        clipdeck->setNeedsSave();
    return clipdecks;
}

std::shared_ptr<CKClipdeck> CKClipdeck::initByLoadingIndex(std::size_t index, Error* error)
{
    return loadIndex(index, false, error);
}

std::shared_ptr<CKClipdeck> CKClipdeck::loadCopyOfIndex(std::size_t index, Error* error)
{
    return loadIndex(index, true, error);
}

std::shared_ptr<CKClipdeck> CKClipdeck::loadIndex(std::size_t index, bool asCopy, Error* error)
{
    auto clipdeck = std::make_shared<CKClipdeck>();
    clipdeck->mIsCopy = asCopy;
    clipdeck->mBoardIndex = index;
    if (!clipdeck->loadFromFolder(pathForBundleAtIndex(index), error))
        return nullptr;
    return clipdeck;
}

bool CKClipdeck::loadFromFolder(const QString& folder, Error* error)
{
    const std::optional<XMLElement> root = readDocument(folder, error);
    if (!root)
        return false;
    setSavingDisabled(true);
    mIsDeleted = false;
    // The fields are set directly: a board being read has nobody to tell yet.
    mUuid = root->attribute(QStringLiteral("uuid"));
    mNumberOfRows = *gridCount(*root, QStringLiteral("rows"));
    mNumberOfColumns = *gridCount(*root, QStringLiteral("columns"));
    mName = root->hasAttribute(QStringLiteral("name")) ? root->attribute(QStringLiteral("name"))
                                                         : CKClipdeckHost::current().nameForNewClipdeck();
    mSounds.assign(numberOfCells(), nullptr);
    if (const XMLElement* sounds = root->firstElementForName(QStringLiteral("sounds"))) {
        for (const XMLElement& element : sounds->elementsForName(QStringLiteral("sound"))) {
            bool ok = false;
            const qlonglong cell = element.attribute(QStringLiteral("index")).toLongLong(&ok);
            if (!ok || cell < 0 || qulonglong(cell) >= numberOfCells())
                continue;
            const std::shared_ptr<CKSoundCachedFileSource> sound = CKSoundCachedFileSource::initWithXMLElement(element, this);
            addSound(sound, std::size_t(cell), false);
        }
    }
    if (!mIsCopy)
        validateSounds();
    setSavingDisabled(false);
    return true;
}

void CKClipdeck::validateSounds()
{
    const QString cache = cachedPath();
    QDir().mkpath(cache);
    const auto walk = [&cache] {
        QStringList paths;
        QDirIterator it(cache, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
        return paths;
    };
    // Names with ":" (which the program never writes) get "-" instead; inner items first, so
    // that a renamed folder does not hide them.
    const QStringList found = walk();
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QFileInfo info(*it);
        if (info.fileName().contains(u':'))
            QDir().rename(*it, info.path() + "/" + QString(info.fileName()).replace(u':', u'-'));
    }
    QSet<QString> expected;
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (auto* cached = dynamic_cast<CKSoundCachedFileSource*>(sound.get())) {
            const QString file = QDir::cleanPath(cached->fullCachePath());
            expected << file << file + ".settings" << file + ".samples";
        }
    }
    for (const QString& candidate : walk()) {
        const QFileInfo info(candidate);
        if (info.isDir() || expected.contains(QDir::cleanPath(candidate)))
            continue;
        qWarning("Extra sound found. Moving to trash. From: %s", qPrintable(candidate));
        StandardPaths::movePathToTrash(candidate);
    }
}

// Saving -------------------------------------------------------------------------------------

XMLElement CKClipdeck::documentElement()
{
    XMLElement root(QStringLiteral("clipdeck"));
    root.setAttribute(QStringLiteral("uuid"), uuid());
    root.setAttribute(QStringLiteral("formatVersion"), QStringLiteral("2"));
    if (!mName.isEmpty())
        root.setAttribute(QStringLiteral("name"), mName);
    XMLElement rows(QStringLiteral("rows"));
    rows.setStringValue(QString::number(qulonglong(mNumberOfRows)));
    root.addChild(rows);
    XMLElement columns(QStringLiteral("columns"));
    columns.setStringValue(QString::number(qulonglong(mNumberOfColumns)));
    root.addChild(columns);
    XMLElement sounds(QStringLiteral("sounds"));
    sounds.setAttribute(QStringLiteral("prerendered"), boolText(mPrerendered));
    for (std::size_t i = 0; i < mSounds.size(); ++i) {
        if (!mSounds[i])
            continue;
        if (std::optional<XMLElement> element = mSounds[i]->saveAndReturnXMLElement()) {
            element->setAttribute(QStringLiteral("index"), QString::number(qulonglong(i)));
            sounds.addChild(std::move(*element));
        }
    }
    root.addChild(sounds);
    return root;
}

bool CKClipdeck::saveToPath(const QString& folder)
{
    if (savingDisabled())
        return false;
    if (!QDir().mkpath(folder + "/" + CacheFolderName))
        return false;
    const QByteArray data = documentElement().xmlData(true);
    // Written beside the document and renamed over it: a crash leaves one or the other.
    QSaveFile file(folder + "/" + ContentsFileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return false;
    mNeedsSave.store(false);
    return true;
}

bool CKClipdeck::save()
{
    if (mIsCopy)
        return false;
    const std::size_t position = CKClipdeckHost::current().indexOfClipdeck(this);
    if (position == kNotFound)
        return false;
    mBoardIndex = position;
    return saveToPath(pathForBundleAtIndex(position));
}

void CKClipdeck::setNeedsSave()
{
    if (mIsCopy)
        return;
    mNeedsSave.store(true);
    if (!mainthread::isMainThread()) {
        // The timer is the main thread's: the request goes there (and is dropped when the
        // board has gone meanwhile).
        mainthread::post([weak = weak_from_this()] {
            if (const std::shared_ptr<CKClipdeck> clipdeck = weak.lock())
                clipdeck->setNeedsSave();
        });
        return;
    }
    mSaveTimer.start(kSaveDelay);
}

void CKClipdeck::cancelPerformSave()
{
    mNeedsSave.store(false);
    mSaveTimer.stop();
}

void CKClipdeck::performSave()
{
    if (!mainthread::isMainThread()) {
        mainthread::postAndWait([this] { performSave(); });
        return;
    }
    save();
}

void CKClipdeck::saveIfNeeded()
{
    if (!needsSave())
        return;
    cancelPerformSave();
    performSave();
}

// Moving and deleting ------------------------------------------------------------------------

bool CKClipdeck::moveFromPath(const QString& from, const QString& to)
{
    if (QFileInfo::exists(to) || !QDir().rename(from, to)) {
        qWarning("Could not move the clipdeck folder %s to %s", qPrintable(from), qPrintable(to));
        return false;
    }
    return true;
}

bool CKClipdeck::moveFromIndex(std::size_t from, std::size_t to)
{
    if (mBoardIndex != from || !moveFromPath(pathForBundleAtIndex(from), pathForBundleAtIndex(to)))
        return false;
    mBoardIndex = to;
    return true;
}

void CKClipdeck::deleteFile()
{
    NotificationCenter::defaultCenter().post(WillDeleteNotification, this);
    cancelPerformSave();
    StandardPaths::movePathToTrash(path());
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (sound)
            sound->setParentClipdeck(nullptr);
    }
    mIsDeleted = true;
}
