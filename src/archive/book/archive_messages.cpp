#include "archive/book/archive_messages.h"

namespace clivara::archive::messages {

std::string notExcel(const std::string& fileName, bool looksLikeZip) {
    std::string text = "Il file \"" + fileName +
                       "\" non è una cartella di lavoro Excel 97-2003 (*.xls) e non può essere "
                       "aperto.";
    if (looksLikeZip) {
        text +=
            " Sembra un file di un formato più recente (.xlsx o .ods) a cui è stato cambiato il "
            "nome: aprirlo con il foglio di calcolo e salvarlo come \"Cartella di lavoro Excel "
            "97-2003 (*.xls)\".";
    }
    return text;
}

std::string oldFormat(const std::string& fileName) {
    return "Il file \"" + fileName +
           "\" è nel vecchio formato Excel 5.0/95, che il programma non può aggiornare. Aprirlo "
           "con il foglio di calcolo e salvarlo di nuovo come \"Cartella di lavoro Excel 97-2003 "
           "(*.xls)\".";
}

std::string oldestFormat(const std::string& fileName, const std::string& excelVersion) {
    return "Il file \"" + fileName + "\" è nel vecchio formato " + excelVersion +
           ", che il programma non può aggiornare. Aprirlo con il foglio di calcolo e salvarlo "
           "di nuovo come \"Cartella di lavoro Excel 97-2003 (*.xls)\".";
}

std::string encrypted(const std::string& fileName) {
    return "Il file \"" + fileName +
           "\" è protetto da una password e il programma non può leggerlo. Aprirlo con il foglio "
           "di calcolo, togliere la password e salvarlo di nuovo.";
}

std::string damaged(const std::string& fileName) {
    return "Il file \"" + fileName +
           "\" è danneggiato e non può essere letto. Il file non è stato modificato: ripristinarne "
           "una copia di sicurezza.";
}

std::string textTooLong(std::size_t length) {
    return "Il testo è troppo lungo per una cella: ha " + std::to_string(length) +
           " caratteri, mentre una cella ne può contenere al massimo 32.767.";
}

std::string notWritten(const std::string& fileName) {
    return "Il file \"" + fileName +
           "\" non è stato salvato perché i dati non hanno potuto essere preparati per la "
           "scrittura. Il file su disco è rimasto com'era.";
}

}  // namespace clivara::archive::messages
