#!/usr/bin/env bash
# The .NET client (clientes/dotnet): built for net10.0 and netstandard2.0 (warnings are errors)
# from locked restores; its xunit suite run against the built bridge and both stand-in libraries;
# the package packed with the release bridges of ACBR_PONTE_BINARIOS (<dir>/<rid>/acbr-ponte[.exe]),
# its files and checksums checked and its bytes compared with a second pack; then the .nupkg
# installed from a local folder (no other source) into two scratch console projects, one for any
# runtime and one for linux-x64, that query the C stand-in with no bridge path given.
# Where there is no dotnet (the .NET SDK is not a Debian package) the stage says so and is skipped.
#   tools/testar-cliente-dotnet.sh [BUILD_DIR]      BUILD_DIR defaults to build/ci
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v dotnet >/dev/null 2>&1; then
  echo "testar-cliente-dotnet: skipped: dotnet (the .NET SDK) is not installed"
  exit 0
fi
build=${1:-build/ci}
ponte=$(realpath -m "$build/acbr-ponte")
if [ ! -x "$ponte" ]; then
  echo "testar-cliente-dotnet: $ponte not found; build it first (cmake --workflow --preset ci)" >&2
  exit 1
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
export DOTNET_CLI_WORKLOAD_UPDATE_NOTIFY_DISABLE=1 DOTNET_GENERATE_ASPNET_CERTIFICATE=false
cliente=$PWD/clientes/dotnet
testes=$cliente/tests/AcbrPonte.Tests
temporario=$(mktemp -d /tmp/acbr-ponte-dotnet-XXXXXX)
trap 'rm -rf "$temporario"' EXIT
echo "dotnet $(dotnet --version), ponte $ponte"

echo "--- restore (locked) and build, Release"
dotnet restore --locked-mode "$testes"
dotnet restore --locked-mode "$cliente/bench/AcbrPonte.Bench"
dotnet build --no-restore -c Release -m:2 "$cliente/bench/AcbrPonte.Bench"

# The suite twice: against the net10.0 build and against the netstandard2.0 one (on this runtime).
contar() { grep -E "^ +$1: +[0-9]+$" "$2" | tail -1 | grep -oE '[0-9]+' || echo 0; }
passaram=0 falharam=0 pularam=0 resultado=0
for alvo in net10.0 netstandard2.0; do
  echo "--- tests, with the library built for $alvo"
  propriedade=()
  [ "$alvo" = net10.0 ] || propriedade=(-p:AlvoDaBiblioteca="$alvo")
  dotnet build --no-restore -c Release -m:2 "${propriedade[@]}" "$testes"
  set +e
  ACBR_PONTE=$ponte dotnet test --no-build -c Release "${propriedade[@]}" "$testes" \
    --logger "console;verbosity=normal" 2>&1 | tee "$temporario/testes-$alvo.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || resultado=1
  set -e
  passaram=$((passaram + $(contar Passed "$temporario/testes-$alvo.log")))
  falharam=$((falharam + $(contar Failed "$temporario/testes-$alvo.log")))
  pularam=$((pularam + $(contar Skipped "$temporario/testes-$alvo.log")))
done
# The counts of both runs, as a plain closing line.
echo "dotnet: $passaram passed, $falharam failed, $pularam skipped"
[ "$resultado" -eq 0 ] || exit 1

if [ -z "${ACBR_PONTE_BINARIOS:-}" ]; then
  echo "--- pack: skipped: ACBR_PONTE_BINARIOS is not set (a folder of <rid>/acbr-ponte[.exe] for linux-x64, linux-x86, win-x64 and win-x86)"
  exit 0
fi
binarios=$(realpath "$ACBR_PONTE_BINARIOS")
echo "--- pack, with the bridges of $binarios"
dotnet pack --no-restore -c Release "$cliente/src/AcbrPonte" -o "$temporario/pacotes" -p:AcbrPonteBinarios="$binarios"
dotnet pack --no-build --no-restore -c Release "$cliente/src/AcbrPonte" -o "$temporario/de-novo" -p:AcbrPonteBinarios="$binarios" >/dev/null
nupkg=$temporario/pacotes/AcbrPonte.0.1.0.nupkg
cmp "$nupkg" "$temporario/de-novo/AcbrPonte.0.1.0.nupkg"
ls -l "$nupkg"
python3 - "$nupkg" "$binarios" <<'PY'
import hashlib, sys, zipfile
nupkg, binarios = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(nupkg) as pacote:
    nomes = sorted(n for n in pacote.namelist() if not n.startswith(("_rels/", "package/", "[Content_Types]")))
    for nome in nomes:
        print(f"{pacote.getinfo(nome).file_size:>9}  {nome}")
    esperados = ["AcbrPonte.nuspec", "README.md", "buildTransitive/AcbrPonte.targets"] + [f"lib/{alvo}/AcbrPonte.{ext}" for alvo in ("net10.0", "netstandard2.0") for ext in ("dll", "xml")]
    for chave in ("linux-x64", "linux-x86", "win-x64", "win-x86"):
        executavel = "acbr-ponte" + (".exe" if chave.startswith("win-") else "")
        ponte = pacote.read(f"runtimes/{chave}/native/{executavel}")
        resumo = pacote.read(f"runtimes/{chave}/native/acbr-ponte.sha256").decode("ascii")
        assert resumo == f"{hashlib.sha256(ponte).hexdigest()}  {executavel}\n", (chave, resumo)
        with open(f"{binarios}/{chave}/{executavel}", "rb") as arquivo:
            assert arquivo.read() == ponte, chave
        esperados += [f"runtimes/{chave}/native/{executavel}", f"runtimes/{chave}/native/acbr-ponte.sha256"]
    assert nomes == sorted(esperados), sorted(set(nomes) ^ set(esperados))
print("the package holds the four bridges, each with its sha256")
PY

echo "--- the .nupkg from a local folder, in scratch console projects, with no bridge path"
projeto=$temporario/projeto
mkdir -p "$projeto"
cat >"$projeto/NuGet.config" <<XML
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <packageSources>
    <clear />
    <add key="local" value="$temporario/pacotes" />
  </packageSources>
</configuration>
XML
cat >"$projeto/consulta.csproj" <<XML
<Project Sdk="Microsoft.NET.Sdk">
  <PropertyGroup>
    <OutputType>Exe</OutputType>
    <TargetFramework>net10.0</TargetFramework>
    <Nullable>enable</Nullable>
    <RestorePackagesPath>$temporario/nuget</RestorePackagesPath>
  </PropertyGroup>
  <ItemGroup>
    <PackageReference Include="AcbrPonte" Version="0.1.0" />
  </ItemGroup>
</Project>
XML
cat >"$projeto/Program.cs" <<'CS'
using System;
using AcbrPonte;

await using var ponte = new Ponte();
Console.WriteLine(ponte.Versao());
Console.WriteLine(ponte.Enviar("{\"cmd\":\"versao\"}").Linha);
CS
esperada='Versao { Nome = ACBrLibNFe (falsa), Numero = 0.0.0-falsa }
{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
consultar() { # the program, run with no ACBR_PONTE and no acbr-ponte on PATH
  env -u ACBR_PONTE PATH=/usr/bin:/bin ACBR_DIR="$(realpath "$build/acbr")" XDG_DATA_HOME="$temporario/dados-$1" "${@:2}"
}
dotnet build -c Release "$projeto" -o "$temporario/qualquer" >/dev/null
resposta=$(consultar qualquer "$(command -v dotnet)" "$temporario/qualquer/consulta.dll")
echo "any runtime (runtimes/linux-x64/native/): $resposta"
[ "$resposta" = "$esperada" ]
dotnet build -c Release -r linux-x64 --self-contained false "$projeto" -o "$temporario/linux-x64" >/dev/null
resposta=$(consultar linux-x64 "$temporario/linux-x64/consulta")
echo "linux-x64 (the bridge beside the application): $resposta"
[ "$resposta" = "$esperada" ]
# Built for linux-x64: its bridge beside the application, and the 32-bit one where Arquitetura.X86 looks.
for arquivo in acbr-ponte acbr-ponte.sha256 runtimes/linux-x86/native/acbr-ponte runtimes/linux-x86/native/acbr-ponte.sha256; do
  [ -f "$temporario/linux-x64/$arquivo" ] || { echo "falta $arquivo na aplicação para linux-x64" >&2; exit 1; }
done
ls -l "$temporario/dados-qualquer/acbr-ponte" "$temporario/dados-linux-x64/acbr-ponte"
echo "dotnet pack: the package installs from a local folder and answers through its own bridge"
