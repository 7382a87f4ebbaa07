// The document's file commands: ".frc" documents, ".fdt" computed data and
// ".bmp" / ".png" images.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "document/CanvasImage.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "document/FileFolder.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"

namespace {

bool Busy(const CFractal_Doc& doc, const QString& path, QString& error)
{
    // The worker owns the fractal and the canvas until the build ends.
    if (!doc.IsBuilding())
        return false;
    error = QString("Cannot use \"%1\" now: the fractal is building.").arg(path);
    return true;
}

} // namespace

bool CFractal_Doc::OnSaveDocument(const QString& path, QString& error)
{
    if (Busy(*this, path, error))
        return false;
    if (!m_fractal) {
        error = QString("Cannot write \"%1\": there is no fractal.").arg(path);
        return false;
    }
    std::string why;
    if (!SaveDocumentFile(path.toStdString(), m_fractalType, *m_fractal, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

bool CFractal_Doc::OnOpenDocument(const QString& path, QString& error)
{
    if (Busy(*this, path, error))
        return false;
    std::string why;
    if (path.endsWith(".fdt")) {
        // Computed data belongs to a self-affine set whatever the last
        // chosen type was. It is read into a new one, so a file that fails
        // leaves the document's fractal as it was.
        std::unique_ptr<CFractal> fractal = CreateFractalOfType(kTypeSelfAffine);
        auto sized = [this](unsigned w, unsigned h) {
            if (!m_views.empty()) {
                m_activeView = m_views.front();
                m_views.front()->ResizeToBitmap(int(w), int(h));
            }
        };
        m_measureLogical = true;
        const bool read = fractal && OpenDataFile(path.toStdString(), *fractal, *m_canvas, sized, why);
        m_measureLogical = false;
        if (!read) {
            error = QString::fromStdString(why);
            return false;
        }
        m_gridScale = 1;
        m_fractalType = kTypeSelfAffine;
        SetFractal(std::move(fractal));
        // The rendered grid is shown by the first update of the window.
        m_canvas->m_imagePending = true;
    } else if (path.endsWith(".frc") || path.endsWith(".png", Qt::CaseInsensitive)) {
        // A PNG this program wrote holds its document's text, read with
        // every check a ".frc" file's bytes get.
        LoadedDocument doc;
        std::string text;
        const bool read = path.endsWith(".frc") ? OpenDocumentFile(path.toStdString(), doc, why)
                                                : ReadPngDocument(path.toStdString(), text, why) &&
                                                      ReadDocumentText(text, path.toStdString(), doc, why);
        if (!read) {
            error = QString::fromStdString(why);
            return false;
        }
        m_fractalType = doc.fractalType;
        SetFractal(std::move(doc.fractal));
    } else {
        error = QString("Cannot open \"%1\": only .frc and .fdt files and PNG images this program wrote are fractal "
                        "documents.")
                    .arg(path);
        return false;
    }
    SetTitle(QString::fromStdString(m_fractal->m_name));
    m_history.Reset();
    m_imagePlace.reset();
    return true;
}

bool CFractal_Doc::SaveDataTo(const QString& path, QString& error)
{
    if (Busy(*this, path, error))
        return false;
    std::string why;
    if (!m_fractal || !SaveDataFile(path.toStdString(), *m_fractal, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

bool CFractal_Doc::SaveBitmapTo(const QString& path, QString& error, bool sixteenBits)
{
    if (Busy(*this, path, error))
        return false;
    // A PNG keeps the document it shows, so opening it opens that.
    PngExtras extras;
    if (m_fractal)
        extras.document = DocumentFileText(m_fractalType, *m_fractal);
    extras.sixteenBits = sixteenBits;
    std::string why;
    if (!SaveImageFile(path.toStdString(), *m_canvas, why, {}, extras)) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

QString CFractal_Doc::SavePath(const QString& chosen, const QString& ext, bool exact)
{
    if (chosen.isEmpty())
        return {};
    const QString name = QFileInfo(chosen).fileName();
    const bool complete = exact ? name.endsWith("." + ext) : name.contains('.');
    if (complete)
        return chosen;
    const QString path = chosen + "." + ext;
    if (!QFileInfo::exists(path))
        return path;
    const QString text = QString("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path));
    return Ask(text, m_activeView) ? path : QString();
}

void CFractal_Doc::OnSaveData(QWidget* owner)
{
    if (!m_fractal || !AbilitiesOf(*m_fractal).computedData)
        return;
    QString path =
        QFileDialog::getSaveFileName(owner, QString(), SuggestedPath(Title() + ".fdt"), "Data files (*.fdt)");
    RememberFolder(path);
    path = SavePath(path, "fdt");
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveDataTo(path, error))
        QMessageBox::warning(owner, "Save Data As", error);
}

void CFractal_Doc::OnSaveBitmap(QWidget* owner)
{
    if (!m_canvas->HasBuffer())
        return;
    const QString png = "PNG images (*.png)";
    const QString png16 = "PNG images, 16 bits per channel (*.png)";
    QString filter;
    QString path = QFileDialog::getSaveFileName(owner, QString(), SuggestedPath(Title() + ".bmp"),
                                                "Bitmap Files 24bits (*.bmp);;" + png + ";;" + png16, &filter);
    RememberFolder(path);
    path = SavePath(path, filter == png || filter == png16 ? "png" : "bmp");
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveBitmapTo(path, error, filter == png16))
        QMessageBox::warning(owner, "Save Bitmap As", error);
}
