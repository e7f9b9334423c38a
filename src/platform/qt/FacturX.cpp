#include "platform/qt/FacturX.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <optional>

#include "data/Files.h"
#include "platform/qt/PdfInfo.h"

namespace invarro::platform::qt {

namespace {

// Text as XML character data.
std::string XmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out;
}

std::string Alt(const char* tag, const std::string& value) {
    if (value.empty()) return {};
    return std::string("   <") + tag + "><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
           XmlText(value) + "</rdf:li></rdf:Alt></" + tag + ">\n";
}

// The metadata of a PDF/A-3b Factur-X invoice, with the dates and the document
// information as the information dictionary holds them.
std::string Xmp(const output::DocumentInfo& info, const std::string& created,
                const std::string& creator) {
    std::string x =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
        "   <pdfaid:part>3</pdfaid:part>\n"
        "   <pdfaid:conformance>B</pdfaid:conformance>\n"
        "  </rdf:Description>\n"
        "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "   <dc:format>application/pdf</dc:format>\n";
    x += Alt("dc:title", info.title);
    if (!info.author.empty())
        x += "   <dc:creator><rdf:Seq><rdf:li>" + XmlText(info.author) +
             "</rdf:li></rdf:Seq></dc:creator>\n";
    x += Alt("dc:description", info.subject);
    x += "  </rdf:Description>\n"
         "  <rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
    if (!info.producer.empty())
        x += "   <pdf:Producer>" + XmlText(info.producer) + "</pdf:Producer>\n";
    x += "  </rdf:Description>\n"
         "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n";
    if (!creator.empty()) x += "   <xmp:CreatorTool>" + XmlText(creator) + "</xmp:CreatorTool>\n";
    x += "   <xmp:CreateDate>" + created +
         "</xmp:CreateDate>\n"
         "   <xmp:ModifyDate>" +
         created +
         "</xmp:ModifyDate>\n"
         "  </rdf:Description>\n"
         "  <rdf:Description rdf:about=\"\" "
         "xmlns:fx=\"urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#\">\n"
         "   <fx:DocumentType>INVOICE</fx:DocumentType>\n"
         "   <fx:DocumentFileName>factur-x.xml</fx:DocumentFileName>\n"
         "   <fx:Version>1.0</fx:Version>\n"
         "   <fx:ConformanceLevel>EN 16931</fx:ConformanceLevel>\n"
         "  </rdf:Description>\n"
         "  <rdf:Description rdf:about=\"\" "
         "xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\" "
         "xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\" "
         "xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\">\n"
         "   <pdfaExtension:schemas>\n"
         "    <rdf:Bag>\n"
         "     <rdf:li rdf:parseType=\"Resource\">\n"
         "      <pdfaSchema:schema>Factur-X PDFA Extension Schema</pdfaSchema:schema>\n"
         "      <pdfaSchema:namespaceURI>urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#"
         "</pdfaSchema:namespaceURI>\n"
         "      <pdfaSchema:prefix>fx</pdfaSchema:prefix>\n"
         "      <pdfaSchema:property>\n"
         "       <rdf:Seq>\n";
    const char* const properties[][2] = {
        {"DocumentFileName", "The name of the embedded XML document"},
        {"DocumentType", "The type of the hybrid document in capital letters, e.g. INVOICE"},
        {"Version", "The actual version of the standard applying to the embedded XML document"},
        {"ConformanceLevel", "The conformance level of the embedded XML document"}};
    for (const auto& p : properties)
        x += std::string("        <rdf:li rdf:parseType=\"Resource\">\n") +
             "         <pdfaProperty:name>" + p[0] + "</pdfaProperty:name>\n" +
             "         <pdfaProperty:valueType>Text</pdfaProperty:valueType>\n" +
             "         <pdfaProperty:category>external</pdfaProperty:category>\n" +
             "         <pdfaProperty:description>" + p[1] + "</pdfaProperty:description>\n" +
             "        </rdf:li>\n";
    x += "       </rdf:Seq>\n"
         "      </pdfaSchema:property>\n"
         "     </rdf:li>\n"
         "    </rdf:Bag>\n"
         "   </pdfaExtension:schemas>\n"
         "  </rdf:Description>\n"
         " </rdf:RDF>\n"
         "</x:xmpmeta>\n"
         "<?xpacket end=\"w\"?>";
    return x;
}

}  // namespace

std::string SrgbProfilePath() {
    for (const char* p : {"/usr/share/color/icc/colord/sRGB.icc", "/usr/share/color/icc/sRGB.icc",
                          "/usr/share/color/icc/ghostscript/srgb.icc"})
        if (data::FileExists(p)) return p;
    return {};
}

bool MakeFacturX(const std::string& path, const std::string& xml, const output::DocumentInfo& info,
                 std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string iccPath = SrgbProfilePath();
    const std::optional<std::string> icc =
        iccPath.empty() ? std::nullopt : data::ReadWholeFile(iccPath);
    if (!icc || icc->empty())
        return fail(
            "No sRGB colour profile was found for the e-invoice PDF (install colord-data).");
    std::string why;
    const bool done = RewritePdfFile(
        path,
        [&](QPDF& pdf) {
            QPDFObjectHandle root = pdf.getRoot();
            // The document information, and the dates the metadata repeats.
            QPDFObjectHandle dict = PutDocumentInfo(pdf, info);
            std::string pdfTime = dict.getKey("/CreationDate").isString()
                                      ? dict.getKey("/CreationDate").getUTF8Value()
                                      : std::string();
            QUtil::QPDFTime when(0, 0, 0, 0, 0, 0, 0);
            if (!QUtil::pdf_time_to_qpdf_time(pdfTime, &when)) {
                when = QUtil::get_current_qpdf_time();
                pdfTime = QUtil::qpdf_time_to_pdf_time(when);
            }
            const std::string iso = QUtil::qpdf_time_to_iso8601(when);
            dict.replaceKey("/CreationDate", QPDFObjectHandle::newString(pdfTime));
            dict.replaceKey("/ModDate", QPDFObjectHandle::newString(pdfTime));
            const std::string creator = dict.getKey("/Creator").isString()
                                            ? dict.getKey("/Creator").getUTF8Value()
                                            : std::string();

            // The XML as an associated file, the alternative form of the invoice.
            QPDFEFStreamObjectHelper ef = QPDFEFStreamObjectHelper::createEFStream(pdf, xml);
            ef.setSubtype("text/xml");
            ef.setCreationDate(pdfTime);
            ef.setModDate(pdfTime);
            QPDFFileSpecObjectHelper attachment =
                QPDFFileSpecObjectHelper::createFileSpec(pdf, "factur-x.xml", ef);
            attachment.setDescription("Factur-X invoice");
            QPDFObjectHandle attachmentObject = attachment.getObjectHandle();
            attachmentObject.replaceKey("/AFRelationship",
                                        QPDFObjectHandle::newName("/Alternative"));
            QPDFEmbeddedFileDocumentHelper files(pdf);
            files.replaceEmbeddedFile("factur-x.xml", attachment);
            QPDFObjectHandle af = QPDFObjectHandle::newArray();
            af.appendItem(attachmentObject);
            root.replaceKey("/AF", af);

            // The metadata, replacing what the writer put there.
            QPDFObjectHandle meta = pdf.newStream(Xmp(info, iso, creator));
            meta.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
            meta.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
            root.replaceKey("/Metadata", meta);

            // The output intent: sRGB.
            QPDFObjectHandle profile = pdf.newStream(*icc);
            profile.getDict().replaceKey("/N", QPDFObjectHandle::newInteger(3));
            QPDFObjectHandle intent = QPDFObjectHandle::newDictionary();
            intent.replaceKey("/Type", QPDFObjectHandle::newName("/OutputIntent"));
            intent.replaceKey("/S", QPDFObjectHandle::newName("/GTS_PDFA1"));
            intent.replaceKey("/OutputConditionIdentifier", QPDFObjectHandle::newString("sRGB"));
            intent.replaceKey("/Info", QPDFObjectHandle::newString("sRGB IEC61966-2.1"));
            intent.replaceKey("/DestOutputProfile", profile);
            QPDFObjectHandle intents = QPDFObjectHandle::newArray();
            intents.appendItem(pdf.makeIndirectObject(intent));
            root.replaceKey("/OutputIntents", intents);
        },
        [](QPDFWriter& writer) {
            writer.setMinimumPDFVersion("1.7");
            writer.setObjectStreamMode(qpdf_o_disable);
        },
        &why);
    if (!done) return fail(why);
    return true;
}

}  // namespace invarro::platform::qt
