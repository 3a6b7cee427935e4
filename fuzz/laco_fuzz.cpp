// The command loop over an arbitrary byte stream, in memory, with a fake responder. The input's
// first bytes choose how the stream is cut into reads, whether it ends or fails, which write
// fails or is dropped, and the line splitter's block size; the rest is the stream. Whatever the
// cutting, the loop's writes must equal those of a plain model written here without the loop's
// code: split on LF, one CR before LF dropped, stop at the first line that is not UTF-8, trim
// White_Space, skip what is left empty, one write of one line per served line, in order.
#include "laco/divisor_de_linhas.hpp"
#include "laco/laco.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace ponte;

void exigir(bool condicao) {
    if (!condicao) std::abort();
}

// ---- The model ----

// The next code point of `bytes` at `i`, or nullopt if the sequence there is ill-formed
// (the well-formed byte sequences table of the Unicode Standard, row by row).
std::optional<char32_t> decodificar(std::string_view bytes, std::size_t& i) {
    struct Linha {
        unsigned char primeiro_de, primeiro_ate, seguintes, segundo_de, segundo_ate;
    };
    static constexpr Linha tabela[] = {
        {0x00, 0x7F, 0, 0x00, 0x00}, {0xC2, 0xDF, 1, 0x80, 0xBF}, {0xE0, 0xE0, 2, 0xA0, 0xBF},
        {0xE1, 0xEC, 2, 0x80, 0xBF}, {0xED, 0xED, 2, 0x80, 0x9F}, {0xEE, 0xEF, 2, 0x80, 0xBF},
        {0xF0, 0xF0, 3, 0x90, 0xBF}, {0xF1, 0xF3, 3, 0x80, 0xBF}, {0xF4, 0xF4, 3, 0x80, 0x8F},
    };
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (const Linha& l : tabela) {
        if (byte(i) < l.primeiro_de || byte(i) > l.primeiro_ate) continue;
        if (bytes.size() - i <= l.seguintes) return std::nullopt;
        char32_t valor = byte(i) & (l.seguintes == 0 ? 0x7F : 0x3F >> l.seguintes);
        for (std::size_t k = 1; k <= l.seguintes; ++k) {
            const unsigned char de = k == 1 ? l.segundo_de : 0x80, ate = k == 1 ? l.segundo_ate : 0xBF;
            if (byte(i + k) < de || byte(i + k) > ate) return std::nullopt;
            valor = (valor << 6) | (byte(i + k) & 0x3F);
        }
        i += l.seguintes + 1;
        return valor;
    }
    return std::nullopt;
}

bool branco(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The trimmed line, or nullopt if it is not well-formed UTF-8.
std::optional<std::string> aparada(std::string_view linha) {
    std::size_t primeiro = linha.size(), fim = 0;
    for (std::size_t i = 0; i < linha.size();) {
        const std::size_t inicio = i;
        const auto c = decodificar(linha, i);
        if (!c) return std::nullopt;
        if (branco(*c)) continue;
        primeiro = std::min(primeiro, inicio);
        fim = i;
    }
    return primeiro < fim ? std::string(linha.substr(primeiro, fim - primeiro)) : std::string();
}

// The lines a splitter must give: those ended by LF lose it and one CR before it; the bytes
// after the last LF are a line of their own when the stream ends (not when it fails).
std::vector<std::string> linhas_do_modelo(std::string_view fluxo, bool falha) {
    std::vector<std::string> linhas;
    std::size_t inicio = 0;
    for (std::size_t lf; (lf = fluxo.find('\n', inicio)) != std::string_view::npos; inicio = lf + 1) {
        std::string_view linha = fluxo.substr(inicio, lf - inicio);
        if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
        linhas.emplace_back(linha);
    }
    if (inicio < fluxo.size() && !falha) linhas.emplace_back(fluxo.substr(inicio));
    return linhas;
}

// The fake responder's answer: hex keeps it on one line whatever the command holds.
std::string em_hex(std::string_view comando) {
    static constexpr char digitos[] = "0123456789abcdef";
    std::string texto = "c:";
    for (const char c : comando) {
        texto.push_back(digitos[static_cast<unsigned char>(c) >> 4]);
        texto.push_back(digitos[static_cast<unsigned char>(c) & 0xF]);
    }
    return texto;
}

// ---- The loop's side ----

class FonteFatiada final : public laco::FonteDeBytes {
public:
    FonteFatiada(std::string_view fluxo, std::span<const std::uint8_t> fatias, bool falha)
        : fluxo_(fluxo), fatias_(fatias), falha_(falha) {}

    laco::Leitura ler(std::span<char> destino) override {
        exigir(!destino.empty());
        exigir(!encerrada_);  // nothing is read once the end or a failure was reported
        if (fluxo_.empty()) {
            encerrada_ = true;
            return {falha_ ? laco::EstadoDaLeitura::falha : laco::EstadoDaLeitura::fim};
        }
        const std::size_t fatia = std::size_t{fatias_[vez_++ % fatias_.size()]} + 1;
        const std::size_t n = std::min({fatia, destino.size(), fluxo_.size()});
        std::memcpy(destino.data(), fluxo_.data(), n);
        fluxo_.remove_prefix(n);
        return {laco::EstadoDaLeitura::dados, n};
    }

private:
    std::string_view fluxo_;
    std::span<const std::uint8_t> fatias_;
    bool falha_;
    std::size_t vez_ = 0;
    bool encerrada_ = false;
};

class SaidaRegistrada final : public laco::SaidaDeBytes {
public:
    SaidaRegistrada(std::size_t vez_que_falha, laco::Escrita resultado)
        : vez_que_falha_(vez_que_falha), resultado_(resultado) {}

    laco::Escrita escrever(std::string_view bytes) override {
        escritas.emplace_back(bytes);
        return escritas.size() - 1 == vez_que_falha_ ? resultado_ : laco::Escrita::entregue;
    }

    std::vector<std::string> escritas;

private:
    std::size_t vez_que_falha_;
    laco::Escrita resultado_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    // Byte 0: bits 0-2 number of slice sizes - 1, bit 3 the stream fails at its end, bits 4-7
    // the splitter's block - 1. Byte 1: below 32 that write fails, below 64 (minus 32) it is
    // dropped, else every write is delivered. Then the slice sizes - 1, then the stream.
    if (tamanho < 2) return 0;
    const std::size_t quantas = (dados[0] & 7U) + 1;
    if (tamanho < 2 + quantas) return 0;
    const bool falha = (dados[0] & 8U) != 0;
    const std::size_t bloco = (dados[0] >> 4U) + 1;
    const std::size_t vez_que_falha = dados[1] < 64 ? dados[1] % 32 : SIZE_MAX;
    const laco::Escrita resultado = dados[1] < 32 ? laco::Escrita::falhou : laco::Escrita::descartada;
    const std::span<const std::uint8_t> fatias(dados + 2, quantas);
    const std::string_view fluxo(reinterpret_cast<const char*>(dados + 2 + quantas), tamanho - 2 - quantas);

    const std::vector<std::string> linhas = linhas_do_modelo(fluxo, falha);

    // The splitter alone, with a tiny block so that its buffer moves and grows.
    {
        FonteFatiada fonte(fluxo, fatias, falha);
        laco::DivisorDeLinhas divisor(fonte, bloco);
        std::vector<std::string> obtidas;
        while (const auto linha = divisor.proxima()) obtidas.emplace_back(*linha);
        exigir(!divisor.proxima());
        exigir(obtidas == linhas);
    }

    // The whole loop.
    std::vector<std::string> esperadas;
    for (const std::string& linha : linhas) {
        const auto comando = aparada(linha);
        if (!comando) break;
        if (comando->empty()) continue;
        esperadas.push_back(em_hex(*comando) + "\n");
        if (esperadas.size() - 1 == vez_que_falha && resultado == laco::Escrita::falhou) break;
    }
    FonteFatiada fonte(fluxo, fatias, falha);
    SaidaRegistrada saida(vez_que_falha, resultado);
    std::size_t chamadas = 0;
    laco::executar_laco(fonte, saida, [&](std::string_view comando, texto::Acumulador& resposta) {
        ++chamadas;
        exigir(resposta.vazio());
        resposta.anexar(em_hex(comando));
    });
    exigir(saida.escritas == esperadas);
    exigir(chamadas == esperadas.size());
    return 0;
}
