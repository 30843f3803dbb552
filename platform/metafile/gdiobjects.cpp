#include "platform/metafile/gdiobjects.h"

namespace vm {

GdiObjectTable::GdiObjectTable(int size)
{
    resize(size);
}

void GdiObjectTable::resize(int size)
{
    size = qBound(0, size, kMaxSize);
    if (size > int(m_objects.size()))
        m_objects.resize(size_t(size));
}

bool GdiObjectTable::store(int index, GdiObject object)
{
    if (index < 0 || index >= int(m_objects.size()))
        return false;
    m_objects[size_t(index)] = std::move(object);
    return true;
}

const GdiObject *GdiObjectTable::find(int index) const
{
    if (index < 0 || index >= int(m_objects.size()))
        return nullptr;
    const GdiObject &object = m_objects[size_t(index)];
    return std::holds_alternative<std::monostate>(object) ? nullptr : &object;
}

bool GdiObjectTable::remove(int index)
{
    if (!find(index))
        return false;
    m_objects[size_t(index)] = std::monostate();
    return true;
}

void GdiObjectTable::clear()
{
    for (GdiObject &object : m_objects)
        object = std::monostate();
}

int GdiObjectTable::lowestFree() const
{
    for (size_t i = 0; i < m_objects.size(); ++i) {
        if (std::holds_alternative<std::monostate>(m_objects[i]))
            return int(i);
    }
    return -1;
}

static GdiBrush solidBrush(ColorRef color)
{
    GdiBrush brush;
    brush.color = color;
    return brush;
}

static GdiPen solidPen(ColorRef color, quint32 style = GdiPen::Solid)
{
    GdiPen pen;
    pen.style = style;
    pen.color = color;
    return pen;
}

static GdiFont stockFont(const char *face, int height, bool fixed)
{
    GdiFont font;
    font.height = height;
    font.weight = 400;
    font.faceName = QString::fromLatin1(face);
    font.pitchAndFamily = fixed ? 1 : 2;
    return font;
}

GdiObject stockObject(int number)
{
    switch (StockObject(number)) {
    case StockObject::WhiteBrush:
        return solidBrush(0xFFFFFF);
    case StockObject::LtGrayBrush:
        return solidBrush(0xC0C0C0);
    case StockObject::GrayBrush:
        return solidBrush(0x808080);
    case StockObject::DkGrayBrush:
        return solidBrush(0x404040);
    case StockObject::BlackBrush:
        return solidBrush(0x000000);
    case StockObject::NullBrush: {
        GdiBrush brush;
        brush.style = GdiBrush::Null;
        return brush;
    }
    case StockObject::DcBrush:
        return solidBrush(0xFFFFFF);
    case StockObject::WhitePen:
        return solidPen(0xFFFFFF);
    case StockObject::BlackPen:
        return solidPen(0x000000);
    case StockObject::NullPen:
        return solidPen(0, GdiPen::Null);
    case StockObject::DcPen:
        return solidPen(0x000000);
    case StockObject::OemFixedFont:
    case StockObject::AnsiFixedFont:
    case StockObject::SystemFixedFont:
        return stockFont("Courier New", 16, true);
    case StockObject::AnsiVarFont:
    case StockObject::SystemFont:
    case StockObject::DeviceDefaultFont:
        return stockFont("System", 16, false);
    case StockObject::DefaultGuiFont:
        return stockFont("MS Shell Dlg", -11, false);
    case StockObject::DefaultPalette: {
        GdiPalette palette;
        // The twenty static colours.
        static const QRgb colors[] = {
            0xFF000000,
            0xFF800000,
            0xFF008000,
            0xFF808000,
            0xFF000080,
            0xFF800080,
            0xFF008080,
            0xFFC0C0C0,
            0xFFC0DCC0,
            0xFFA6CAF0,
            0xFFFFFBF0,
            0xFFA0A0A4,
            0xFF808080,
            0xFFFF0000,
            0xFF00FF00,
            0xFFFFFF00,
            0xFF0000FF,
            0xFFFF00FF,
            0xFF00FFFF,
            0xFFFFFFFF,
        };
        for (QRgb c : colors)
            palette.entries.append(c);
        return palette;
    }
    }
    return std::monostate();
}

} // namespace vm
