// Build tool: turns the Markdown guide into the PDF shipped with the program. Pictures are read
// from beside the Markdown file; the PDF's title is the first heading.
// Usage: kx_markdown_pdf <input.md> <output.pdf> <language, e.g. da>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <cstdio>

namespace {

QString firstHeading(const QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) {
            return block.text();
        }
    }
    return {};
}

// Qt's PDF writer gives the document no language. An incremental update, as PDF editors save
// theirs, appends the catalog again with /Lang, a cross-reference entry for it and a new trailer.
bool addLanguage(const QString& path, const QByteArray& language) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    const QByteArray pdf = file.readAll();
    const QString trailer = QString::fromLatin1(pdf.mid(pdf.lastIndexOf("trailer")));
    const auto number = [&trailer](const char* key) {
        return QRegularExpression(QString::fromLatin1(key) + QStringLiteral("\\s+(\\d+)"))
            .match(trailer)
            .captured(1)
            .toLatin1();
    };
    const QByteArray size = number("/Size");
    const QByteArray root = number("/Root");
    const QByteArray info = number("/Info");
    const QByteArray previous = number("startxref");
    const QByteArray header = "\n" + root + " 0 obj\n";
    const qsizetype begin = pdf.indexOf(header);
    const qsizetype end = begin < 0 ? -1 : pdf.lastIndexOf(">>", pdf.indexOf("endobj", begin));
    if (size.isEmpty() || root.isEmpty() || info.isEmpty() || previous.isEmpty() || end < begin) {
        return false;
    }
    const QByteArray catalog = pdf.mid(begin + header.size(), end - begin - header.size());
    const qint64 offset = pdf.size();
    QByteArray update = root + " 0 obj\n" + catalog + "/Lang (" + language + ")\n>>\nendobj\n";
    const qint64 table = offset + update.size();
    update += "xref\n" + root + " 1\n" + QByteArray::number(offset).rightJustified(10, '0') +
              " 00000 n \ntrailer\n<<\n/Size " + size + "\n/Info " + info + " 0 R\n/Root " + root +
              " 0 R\n/Prev " + previous + "\n>>\nstartxref\n" + QByteArray::number(table) +
              "\n%%EOF\n";
    return pdf.endsWith('\n') && file.write(update) == update.size();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fputs("usage: kx_markdown_pdf <input.md> <output.pdf> <language>\n", stderr);
        return 2;
    }
    // Fonts need a GUI application, but the build needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString inputPath = QFile::decodeName(argv[1]);
    const QString outputPath = QFile::decodeName(argv[2]);

    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kx_markdown_pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setMetaInformation(
        QTextDocument::DocumentUrl,
        QUrl::fromLocalFile(QFileInfo(inputPath).absolutePath() + QLatin1Char('/')).toString());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(input.readAll()));
    // Markdown tables come without room around the text.
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat format = table->format();
            format.setCellPadding(4);
            format.setCellSpacing(0);
            format.setBorderCollapse(true);
            table->setFormat(format);
        }
    }

    QFile::remove(outputPath);
    {
        QPdfWriter writer(outputPath);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        writer.setTitle(firstHeading(document));
        writer.setCreator(QStringLiteral("kx_markdown_pdf"));
        document.print(&writer);
    }
    if (QFileInfo(outputPath).size() == 0 || !addLanguage(outputPath, QByteArray(argv[3]))) {
        std::fprintf(stderr, "kx_markdown_pdf: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
