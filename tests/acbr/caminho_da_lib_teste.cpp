#include "acbr/caminho_da_lib.hpp"
#include "acbr/mensagens.hpp"
#include "ambiente.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ponte::acbr {
namespace {

TEST(CaminhoDaLib, PaiEJuncao) {
    struct Pai {
        std::string caminho;
        std::optional<std::string> esperado;
    };
    const std::vector<Pai> pais = {
        {"/opt/app/acbr-ponte", "/opt/app"},
        {"/acbr-ponte", "/"},
        {"//acbr-ponte", "/"},
        {"rel/acbr-ponte", "rel"},
        {"a//b", "a"},
        {"acbr-ponte", ""},
        {"a/b/", "a"},
        {"b/", ""},
        {"/", std::nullopt},
        {"//", std::nullopt},
        {"", std::nullopt},
#ifdef _WIN32
        // Both separators, and the drive stays with its root.
        {"C:\\app\\acbr-ponte.exe", "C:\\app"},
        {"C:\\app/sub\\acbr-ponte.exe", "C:\\app/sub"},
        {"C:\\acbr-ponte.exe", "C:\\"},
        {"C:/acbr-ponte.exe", "C:/"},
        {"C:acbr-ponte.exe", "C:"},
        {"\\\\servidor\\pasta\\acbr-ponte.exe", "\\\\servidor\\pasta"},
        {"\\\\?\\C:\\app\\acbr-ponte.exe", "\\\\?\\C:\\app"},
        {"\\acbr-ponte.exe", "\\"},
        {"C:\\", std::nullopt},
        {"C:", std::nullopt},
#else
        {"C:\\app\\acbr-ponte.exe", ""},  // a backslash is a character of a Linux name
#endif
    };
    for (const auto& caso : pais) {
        EXPECT_EQ(pai_do_caminho(caso.caminho), caso.esperado) << caso.caminho;
    }
    struct Juncao {
        std::string base, esperado;
    };
#ifdef _WIN32
    const std::vector<Juncao> juncoes = {
        {"C:\\app", "C:\\app\\acbr"},
        {"C:\\app\\", "C:\\app\\acbr"},
        {"C:/app/", "C:/app/acbr"},
        {"C:\\", "C:\\acbr"},
        {"C:", "C:acbr"},
        {"", "acbr"},
    };
#else
    const std::vector<Juncao> juncoes = {
        {"/opt", "/opt/acbr"}, {"/opt/", "/opt/acbr"}, {"/", "/acbr"}, {"", "acbr"}, {"C:", "C:/acbr"},
    };
#endif
    for (const auto& caso : juncoes) {
        EXPECT_EQ(juntar_caminho(caso.base, "acbr"), caso.esperado) << caso.base;
    }
}

TEST(CaminhoDaLib, MensagemDePlataformaTem151Bytes) { EXPECT_EQ(mensagens::plataforma.size(), 151U); }

#if defined(PONTE_ARQUIVO_DA_LIB) && defined(__linux__)

TEST(CaminhoDaLib, AcbrDirOuAoLadoDoExecutavel) {
    const std::string arquivo = PONTE_ARQUIVO_DA_LIB;
    const std::string ao_lado =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "acbr" / arquivo).string();
    struct Caso {
        std::optional<std::string> acbr_dir;  // nullopt: unset
        std::string esperado;
    };
    const std::vector<Caso> casos = {
        {"/opt/acbr", "/opt/acbr/" + arquivo},
        {"/opt/acbr/", "/opt/acbr/" + arquivo},
        {"rel/acbr", "rel/acbr/" + arquivo},
        {" com espaços ", " com espaços /" + arquivo},  // used unchanged, never trimmed
        {"", arquivo},                                  // empty is a directory, not unset
        {std::nullopt, ao_lado},
        {"/opt/\xFF"
         "acbr",
         ao_lado},  // not UTF-8: as if unset
    };
    for (const auto& caso : casos) {
        testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", caso.acbr_dir);
        EXPECT_EQ(caminho_da_lib(), caso.esperado) << caso.acbr_dir.value_or("(unset)");
    }
}

#elif defined(PONTE_ARQUIVO_DA_LIB) && defined(_WIN32)

std::string utf8(const std::filesystem::path& caminho) {
    const auto texto = caminho.u8string();
    return std::string(texto.begin(), texto.end());
}

// Windows' environment is UTF-16: values are set as such, an unpaired surrogate included.
TEST(CaminhoDaLib, AcbrDirOuAoLadoDoExecutavel) {
    const std::string arquivo = PONTE_ARQUIVO_DA_LIB;
    std::wstring exe(32768, L'\0');
    exe.resize(::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    const std::string ao_lado = utf8(std::filesystem::path(exe).parent_path() / "acbr" / arquivo);
    struct Caso {
        std::optional<std::wstring> acbr_dir;  // nullopt: unset
        std::string esperado;
    };
    const std::vector<Caso> casos = {
        {L"C:\\ACBr", "C:\\ACBr\\" + arquivo},
        {L"C:\\ACBr\\", "C:\\ACBr\\" + arquivo},
        {L"C:/ACBr/", "C:/ACBr/" + arquivo},
        {L"rel\\acbr", "rel\\acbr\\" + arquivo},
        {L" com espa\u00E7os ", " com espaços \\" + arquivo},  // used unchanged, never trimmed
        {L"", arquivo},                                        // empty is a directory, not unset
        {std::nullopt, ao_lado},
        {std::wstring(L"C:\\x") + wchar_t{0xD800}, ao_lado},  // not UTF-16: as if unset
    };
    for (const auto& caso : casos) {
        testes::VariavelDeAmbiente limpa("ACBR_DIR", std::nullopt);
        if (caso.acbr_dir) ::SetEnvironmentVariableW(L"ACBR_DIR", caso.acbr_dir->c_str());
        EXPECT_EQ(caminho_da_lib(), caso.esperado) << caso.esperado;
        ::SetEnvironmentVariableW(L"ACBR_DIR", nullptr);
    }
}

#endif

}  // namespace
}  // namespace ponte::acbr
