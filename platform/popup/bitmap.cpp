// XbBitmap: a picture element that shows a data object's picture column
// and takes a new picture from an image file on a click.
#include "platform/popup/popup.h"
#include "platform/popup/records.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/positional_args.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QWidget>

#include <memory>

namespace popup {

namespace {

using detail::set;

ImageChooser& chooserHook()
{
    static ImageChooser hook;
    return hook;
}

std::string chooseImage(QWidget* over)
{
    if (const ImageChooser& hook = chooserHook())
        return hook();
    const QString path = QFileDialog::getOpenFileName(over ? over->window() : nullptr, QStringLiteral("Seleccionar imagen"),
                                                      QString(),
                                                      QStringLiteral("Imágenes (*.png *.jpg *.jpeg *.bmp *.gif)"));
    return path.toStdString();
}

// What the picture element's blocks share: the element (weakly: the
// blocks live in its own record) and the data object.
struct PictureState {
    gui::WeakPart element;
    rt::Value xData;
};

void draw(const rt::Value& element, const rt::Value& bytes)
{
    if (element.isObject())
        dlg::bitMapDraw(element, bytes);
}

// The data object's picture of its current row; "" when it has none or
// cannot answer (it reports a lost server itself).
rt::Value currentPicture(const rt::Value& xData)
{
    rt::Value bytes("");
    rt::guarded([&] {
        const rt::Value data = detail::dataOf(xData);
        if (data.isObject())
            bytes = rt::sendWith(data, "FieldGetPicture");
    });
    return bytes;
}

rt::Value anchorBlock(const std::shared_ptr<PictureState>& state, const rt::Value& xAnchor)
{
    return rt::makeBlock(
        [state, xAnchor](rt::Args a) -> rt::Value {
            const rt::Value& element = rt::argAt(a, 0);
            if (a.empty())
                return xAnchor.isBlock() ? rt::evalWith(xAnchor) : state->element.lock();
            state->element = gui::WeakPart::from(element);
            if (xAnchor.isBlock())
                rt::evalWith(xAnchor, element);
            draw(element, currentPicture(state->xData));
            return element;
        },
        "{|o| oPicture := o, RK_BitMapDraw(o, oData:FieldGetPicture())}");
}

rt::Value clickBlock(const std::shared_ptr<PictureState>& state)
{
    return rt::makeBlock(
        [state](rt::Args) -> rt::Value {
            const rt::Value element = state->element.lock();
            const gui::XbpPart* part = gui::asPart(element);
            if (!part || !part->widget() || !part->widget()->isEnabled())
                return false;
            const rt::Value data = detail::dataOf(state->xData);
            if (!data.isObject())
                return false;
            const std::string path = chooseImage(part->widget());
            if (path.empty())
                return false;
            const std::string bytes = readPictureFile(path);
            if (bytes.empty())
                return false;
            const rt::Value picture(bytes);
            rt::sendWith(data, "FieldPutPicture", picture);
            draw(element, picture);
            return true;
        },
        "{|| PictureChoose(oPicture, oData)}");
}

}  // namespace

ImageChooser setImageChooser(ImageChooser chooser)
{
    ImageChooser previous = std::move(chooserHook());
    chooserHook() = std::move(chooser);
    return previous;
}

std::string readPictureFile(const std::string& path)
{
    const QString name = QString::fromStdString(path);
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly)) {
        dlg::winAlert("No se pudo leer el archivo: " + path, "Imagen");
        return {};
    }
    // One byte past the cap tells a file that grew while being read.
    const QByteArray bytes = file.read(kMaxPictureBytes + 1);
    if (bytes.size() > kMaxPictureBytes) {
        dlg::winAlert("La imagen es demasiado grande (maximo 16 MB): " + path, "Imagen");
        return {};
    }
    if (bytes.isEmpty() || QImage::fromData(bytes).isNull()) {
        dlg::winAlert("El archivo no es una imagen valida: " + path, "Imagen");
        return {};
    }
    return bytes.toStdString();
}

rt::Value xbBitmap(rt::Args a)
{
    const rt::Value& getList = rt::argAt(a, 0);
    if (!getList.isArray())
        rt::raiseArg("XbBitmap", a);
    const double row = rt::argAt(a, 1).isNum() ? rt::argAt(a, 1).asDouble() : 0.0;
    const double col = rt::argAt(a, 2).isNum() ? rt::argAt(a, 2).asDouble() : 0.0;
    const rt::Value& aSize = rt::argAt(a, 6);
    const double width = rt::entryOf(aSize, 1).isNum() ? rt::entryOf(aSize, 1).asDouble() : 10.0;
    const double height = rt::entryOf(aSize, 2).isNum() ? rt::entryOf(aSize, 2).asDouble() : 4.0;
    const rt::Value& xParent = rt::argAt(a, 7);

    auto state = std::make_shared<PictureState>();
    state->xData = rt::argAt(a, 3);

    detail::push(getList, dlg::type::Bitmap, {}, "XbBitmap");
    set(getList, dlg::slot::Row, row);
    set(getList, dlg::slot::Col, col);
    set(getList, dlg::slot::Width, width);
    set(getList, dlg::slot::Height, height);
    set(getList, dlg::slot::Action, clickBlock(state));
    set(getList, dlg::slot::Anchor, anchorBlock(state, rt::argAt(a, 5)));
    if (!xParent.isNil())
        set(getList, dlg::slot::ParentAnchor, xParent);
    detail::setSource(getList, "RKBITMAP", "", row, col, width, height);
    return getList;
}

std::vector<rt::Value> BitmapSetup::args() const
{
    return rt::positionalArgs(10, {{0, getList}, {1, row}, {2, col}, {3, data}, {5, receiver},
                                   {6, rt::makeArray({cols, rows})}, {7, parent}, {9, false}});
}

rt::Value xbBitmap(const BitmapSetup& setup) { return xbBitmap(setup.args()); }

}  // namespace popup
