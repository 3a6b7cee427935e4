#pragma once

#include "laco/fonte.hpp"
#include "laco/saida.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ponte::testes {

// Gives a text in slices of at most `fatia` bytes, then the end (or a failure).
class FonteDeMemoria final : public laco::FonteDeBytes {
public:
    FonteDeMemoria(std::string texto, std::size_t fatia, bool falhar_no_fim = false)
        : texto_(std::move(texto)), fatia_(fatia), falhar_no_fim_(falhar_no_fim) {}

    laco::Leitura ler(std::span<char> destino) override {
        if (antes_de_ler) antes_de_ler();
        ++leituras;
        maior_destino = std::max(maior_destino, destino.size());
        if (posicao_ == texto_.size())
            return {falhar_no_fim_ ? laco::EstadoDaLeitura::falha : laco::EstadoDaLeitura::fim};
        const std::size_t n = std::min({fatia_, destino.size(), texto_.size() - posicao_});
        std::memcpy(destino.data(), texto_.data() + posicao_, n);
        posicao_ += n;
        return {laco::EstadoDaLeitura::dados, n};
    }

    std::function<void()> antes_de_ler;
    std::size_t leituras = 0;
    std::size_t maior_destino = 0;  // the most room any read was offered

private:
    std::string texto_;
    std::size_t fatia_;
    bool falhar_no_fim_;
    std::size_t posicao_ = 0;
};

// Keeps what it is given; the n-th write (from 0) can answer otherwise.
class SaidaDeMemoria final : public laco::SaidaDeBytes {
public:
    laco::Escrita escrever(std::string_view bytes) override {
        const std::size_t vez = escritas.size();
        escritas.emplace_back(bytes);
        const laco::Escrita resultado = vez < respostas.size() ? respostas[vez] : laco::Escrita::entregue;
        if (resultado == laco::Escrita::entregue) texto.append(bytes);
        return resultado;
    }

    std::vector<laco::Escrita> respostas;
    std::vector<std::string> escritas;
    std::string texto;
};

}  // namespace ponte::testes
