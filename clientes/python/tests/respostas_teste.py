"""Answers: what the bridge says reaches the caller exactly, and what cannot be one line never
reaches the bridge."""

from __future__ import annotations

import os
import unittest
from typing import Dict, List, Optional, Tuple

from acbr_ponte import ComandoRecusado, ErroDaPonte, Ponte, Versao

from apoio import PONTE, FALSA_C, TesteComPonte, ambiente, arquivo_da_biblioteca, exigir, falsas, variante

NOME_ESPECIAL = 'Nota "fiscal" \\ ção 😀 \u2028 fim'
PADRAO = {"ok": True, "nome": "ACBrLibNFe (falsa)", "versao": "0.0.0-falsa"}


class Versoes(TesteComPonte):
    def test_nome_e_versao_chegam_como_a_biblioteca_os_deu(self) -> None:
        casos: List[Tuple[str, Dict[str, Optional[str]], Versao]] = [
            ("padrão", {}, Versao("ACBrLibNFe (falsa)", "0.0.0-falsa")),
            # Quotes, backslash, accents, a character beyond the BMP and a line separator survive;
            # the bridge trims the white space around the version.
            ("textos especiais", {"ACBR_FALSA_NOME": NOME_ESPECIAL, "ACBR_FALSA_VERSAO": "\t1.2\u3000"},
             Versao(NOME_ESPECIAL, "1.2")),
        ]
        for falsa, diretorio in falsas():
            for caso, variaveis, esperada in casos:
                with self.subTest(falsa=falsa, caso=caso), ambiente(**variaveis):
                    with Ponte(PONTE, acbr_dir=exigir(self, diretorio)) as ponte:
                        self.assertEqual(ponte.versao(), esperada)

    def test_textos_ausentes_sao_none(self) -> None:
        for nome, esperada in [("sem_nome", Versao(None, "0.0.0-falsa")), ("sem_nome_nem_versao", Versao(None, None))]:
            with self.subTest(variante=nome), Ponte(PONTE, acbr_dir=variante(nome)) as ponte:
                self.assertEqual(ponte.versao(), esperada)

    def test_falha_levanta_erro_da_ponte_com_o_texto_exato(self) -> None:
        ausente = os.path.join(self.temporario.name, "não existe")
        casos = [
            (ausente, f"biblioteca não encontrada em {os.path.join(ausente, arquivo_da_biblioteca())}"),
            (variante("inicializar_falha"), "NFE_Inicializar devolveu -1"),
        ]
        for diretorio, erro in casos:
            with self.subTest(erro=erro), Ponte(PONTE, acbr_dir=diretorio) as ponte:
                with self.assertRaises(ErroDaPonte) as contexto:
                    ponte.versao()
                self.assertEqual(contexto.exception.erro, erro)
                self.assertEqual(str(contexto.exception), erro)

    def test_enviar_devolve_o_objeto_da_resposta(self) -> None:
        invalido = "comando inválido: "
        casos = [
            ({"cmd": "versao"}, PADRAO),
            (["versao"], PADRAO),
            ({"cmd": "versao", "extra": "ç\u2028"}, PADRAO),
            ('  {"cmd":"versao"}\r', PADRAO),
            # Sent without ensure_ascii: the column counts the two bytes of each of ç, ã.
            ({"cmd": "ação"},
             {"ok": False, "erro": invalido + "unknown variant `ação`, expected `versao` at line 1 column 15"}),
            ('"versao"', {"ok": False, "erro": invalido + 'invalid type: string "versao", '
                          "expected internally tagged enum Comando at line 1 column 8"}),
            ({}, {"ok": False, "erro": invalido + "missing field `cmd` at line 1 column 2"}),
            ("{'cmd'}", {"ok": False, "erro": invalido + "key must be a string at line 1 column 2"}),
            # Not blank to the bridge, although Python's isspace() says so.
            ("\x1c", {"ok": False, "erro": invalido + "expected value at line 1 column 1"}),
        ]
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte:
            for comando, resposta in casos:
                with self.subTest(comando=comando):
                    self.assertEqual(ponte.enviar(comando), resposta)


class Recusas(TesteComPonte):
    def test_o_que_nao_cabe_numa_linha_e_recusado_antes_de_escrever(self) -> None:
        circular: list[object] = []
        circular.append(circular)
        recusados = ["", " ", "\t\r", "\u3000\u00a0\u2028\u0085", '{"cmd":"versao"}\n', "a\nb", "\n",
                     "\ud800", {"cmd": "\udfff"}, float("nan"), {"valor": float("inf")}, circular]
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte:
            for comando in recusados:
                with self.subTest(comando=repr(comando)):
                    with self.assertRaises(ComandoRecusado) as contexto:
                        ponte.enviar(comando)
                    self.assertIsInstance(contexto.exception, ValueError)
                    self.assertIsNone(ponte.pid, "no bridge is started for a refused command")
            # A line feed inside a JSON string is escaped: the value goes as one line.
            self.assertEqual(ponte.enviar({"cmd": "a\nb"})["erro"],
                             "comando inválido: unknown variant `a\nb`, expected `versao` at line 1 column 13")
            pid = ponte.pid
            for comando in recusados:
                with self.subTest(depois_de=repr(comando)):
                    self.assertRaises(ComandoRecusado, ponte.enviar, comando)
                    # Nothing was written: the next answer is still the next command's.
                    self.assertEqual(ponte.versao().nome, "ACBrLibNFe (falsa)")
            self.assertEqual(ponte.pid, pid)

    def test_valor_que_o_json_nao_conhece_e_type_error(self) -> None:
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte:
            self.assertRaises(TypeError, ponte.enviar, b'{"cmd":"versao"}')
            self.assertIsNone(ponte.pid)


class Abertura(TesteComPonte):
    def test_o_executavel_e_achado(self) -> None:
        diretorio = os.path.dirname(os.path.abspath(PONTE))
        casos: List[Tuple[str, Dict[str, Optional[str]], Optional[str], str]] = [
            ("explícito", {}, PONTE, PONTE),
            ("ACBR_PONTE", {"ACBR_PONTE": PONTE}, None, PONTE),
            ("PATH", {"ACBR_PONTE": None, "PATH": diretorio}, None, os.path.join(diretorio, "acbr-ponte")),
            ("ACBR_PONTE vazio vale como ausente", {"ACBR_PONTE": "", "PATH": diretorio}, None,
             os.path.join(diretorio, "acbr-ponte")),
        ]
        for caso, variaveis, argumento, esperado in casos:
            with self.subTest(caso=caso), ambiente(**variaveis):
                with Ponte(argumento, acbr_dir=FALSA_C) as ponte:
                    self.assertEqual(ponte.executavel, esperado)
                    self.assertEqual(ponte.versao().versao, "0.0.0-falsa")

    def test_executavel_ausente(self) -> None:
        with ambiente(ACBR_PONTE=None, PATH=self.temporario.name):
            self.assertRaises(FileNotFoundError, Ponte)
        with Ponte(os.path.join(self.temporario.name, "acbr-ponte")) as ponte:
            for _ in range(2):
                self.assertRaises(FileNotFoundError, ponte.versao)
                self.assertIsNone(ponte.pid)

    def test_cada_ponte_parte_do_ambiente_do_momento_em_que_comeca(self) -> None:
        with ambiente(ACBR_DIR=FALSA_C, ACBR_FALSA_NOME=None):
            ponte = Ponte(PONTE, comandos_por_ponte=2)
            with ponte:
                self.assertIsNone(ponte.pid, "nothing starts before the first call")
                os.environ["ACBR_FALSA_NOME"] = "primeira"
                self.assertEqual(ponte.versao().nome, "primeira")
                os.environ["ACBR_FALSA_NOME"] = "segunda"
                self.assertEqual(ponte.versao().nome, "primeira", "the running bridge keeps its environment")
                self.assertEqual(ponte.versao().nome, "segunda", "the fresh bridge takes the current one")

    def test_acbr_dir_da_ponte_vale_sobre_o_do_ambiente(self) -> None:
        for falsa, diretorio in falsas():
            with self.subTest(falsa=falsa), ambiente(ACBR_DIR=self.temporario.name):
                with Ponte(PONTE, acbr_dir=exigir(self, diretorio)) as ponte:
                    self.assertEqual(ponte.versao().nome, "ACBrLibNFe (falsa)")


if __name__ == "__main__":
    unittest.main()
