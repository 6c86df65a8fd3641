#pragma once

// Reads .xlsx workbooks back with Python's zipfile and XML parser, so that the tests check what
// another program finds in the file: each cell's type, its text, and the number format it shows
// with.

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>

namespace SpreadsheetReader {

struct Cell {
    QString type; // "text", or "n" for a number (dates are numbers with a date format)
    QString value;
    QString format;
};
// Cells by reference ("B2"); a cell left empty is not there.
using Sheet = QMap<QString, Cell>;

inline constexpr char script[] = R"(
import json, re, sys, zipfile, xml.etree.ElementTree as ET
m = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
r = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
z = zipfile.ZipFile(sys.argv[1])
strings = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).iter(m + 'si'):
        text = ''.join(t.text or '' for t in si.iter(m + 't'))
        # As spreadsheets read them: "_x0041_" is an escaped character.
        strings.append(re.sub('_x([0-9A-Fa-f]{4})_', lambda e: chr(int(e.group(1), 16)), text))
styles = ET.fromstring(z.read('xl/styles.xml'))
formats = {0: 'General', 2: '0.00'}
for f in styles.iter(m + 'numFmt'):
    formats[int(f.get('numFmtId'))] = f.get('formatCode')
xfs = [int(x.get('numFmtId', 0)) for x in styles.find(m + 'cellXfs')]
rels = {e.get('Id'): e.get('Target') for e in ET.fromstring(z.read('xl/_rels/workbook.xml.rels'))}
out = {}
for sheet in ET.fromstring(z.read('xl/workbook.xml')).iter(m + 'sheet'):
    cells = {}
    for c in ET.fromstring(z.read('xl/' + rels[sheet.get(r + 'id')])).iter(m + 'c'):
        kind = c.get('t', 'n')
        v = c.find(m + 'v')
        text = v.text if v is not None else ''
        if kind == 's':
            text = strings[int(text)]
        elif kind == 'inlineStr':
            text = ''.join(t.text or '' for t in c.iter(m + 't'))
        cells[c.get('r')] = {'type': 'text' if kind in ('s', 'inlineStr', 'str') else kind,
                             'value': text,
                             'format': formats.get(xfs[int(c.get('s', 0))], '?')}
    out[sheet.get('name')] = cells
json.dump(out, sys.stdout)
)";

// The workbook's sheets by name, or nothing when it cannot be read as one.
inline QMap<QString, Sheet> read(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!python.waitForFinished(20000) || python.exitCode() != 0)
        return {};
    QMap<QString, Sheet> sheets;
    const QJsonObject workbook = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    for (auto sheet = workbook.begin(); sheet != workbook.end(); ++sheet) {
        const QJsonObject cells = sheet->toObject();
        for (auto cell = cells.begin(); cell != cells.end(); ++cell) {
            const QJsonObject c = cell->toObject();
            sheets[sheet.key()][cell.key()] = {c.value(QLatin1String("type")).toString(),
                                               c.value(QLatin1String("value")).toString(),
                                               c.value(QLatin1String("format")).toString()};
        }
    }
    return sheets;
}

} // namespace SpreadsheetReader
