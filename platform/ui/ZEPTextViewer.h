#pragma once
// A window that shows one text file to read, in place of the maker's text viewer (release
// notes and the like): HTML for ".html" and ".htm" files, Markdown for ".md", plain text
// otherwise. Links open in the desktop's browser. A file that cannot be read shows why.
// Main thread only.

#include <QWidget>

class QTextBrowser;

class ZEPTextViewer : public QWidget {
    Q_OBJECT
public:
    // A viewer of the file at path, read now.
    explicit ZEPTextViewer(const QString& path, QWidget* parent = nullptr);

    QString path() const { return path_; }
    void setTitle(const QString& title) { setWindowTitle(title); }
    QString title() const { return windowTitle(); }
    // Whether the file was read.
    bool hasText() const { return hasText_; }
    QTextBrowser* textView() const { return text_; }

private:
    QString path_;
    QTextBrowser* text_;
    bool hasText_ = false;
};
