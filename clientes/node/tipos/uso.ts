// Compiled with `tsc --noEmit` only: the declarations must accept what the README shows and
// refuse what the runtime refuses.
import {
    ComandoRecusado,
    ErroAcbrPonte,
    ErroDaPonte,
    LocalInseguro,
    type OpcoesDaPonte,
    Ponte,
    PonteEncerrada,
    PonteFechada,
    PonteNaoIniciada,
    type Resposta,
    RespostaInvalida,
    TempoEsgotado,
    type Versao,
} from '../src/index.js';

const opcoes: OpcoesDaPonte = {
    executavel: '/opt/app/acbr-ponte',
    acbrDir: '/opt/app/acbr',
    tempoLimite: 5000,
    comandosPorPonte: 0,
    arquitetura: 'x86',
    pastaDeConfiguracao: '/var/lib/app/acbr-ponte',
};
const ponte = new Ponte(opcoes);
new Ponte();
new Ponte({ executavel: null, arquitetura: undefined });
// @ts-expect-error the limit is a number of milliseconds
new Ponte({ tempoLimite: '5s' });
// @ts-expect-error only the two word sizes the library is published for
new Ponte({ arquitetura: 'arm64' });

async function uso(): Promise<void> {
    const versao: Versao = await ponte.versao();
    const nome: string = versao.nome ?? '(sem nome)';
    // @ts-expect-error the version may be absent
    const semChecar: string = versao.versao;
    const resposta: Resposta = await ponte.enviar({ cmd: 'versao' });
    const ok: boolean = resposta.ok;
    const erro: string | undefined = resposta.erro;
    await ponte.enviar('{"cmd":"versao"}');
    await ponte.enviar(['versao']);
    // @ts-expect-error there is nothing to send
    await ponte.enviar(undefined);
    const pid: number | undefined = ponte.pid;
    try {
        await ponte.versao();
    } catch (e) {
        if (e instanceof ErroDaPonte) {
            const texto: string = e.erro;
        } else if (e instanceof TempoEsgotado) {
            const ms: number = e.tempoLimite;
            const cauda: string = e.stderr;
        } else if (e instanceof PonteEncerrada) {
            const status: number | null = e.status;
            const sinal: string | null = e.sinal;
            const cauda: string = e.stderr;
        } else if (e instanceof RespostaInvalida) {
            const linha: string = e.linha;
        } else if (e instanceof LocalInseguro) {
            const caminho: string = e.caminho;
            const motivo: string = e.motivo;
            const tentado: string | undefined = e.executavel;
        } else if (e instanceof PonteNaoIniciada) {
            const tentado: string | undefined = e.executavel;
        } else if (e instanceof ComandoRecusado || e instanceof PonteFechada) {
            const mensagem: string = e.message;
        } else if (e instanceof ErroAcbrPonte) {
            const mensagem: string = e.message;
        }
    }
    const naoIniciada: PonteNaoIniciada = new LocalInseguro('/x', 'é um link simbólico');
    const fechado: Promise<void> = ponte.fechar();
    const descarte: Promise<void> = ponte[Symbol.asyncDispose]();
    void [nome, semChecar, ok, erro, pid, naoIniciada, fechado, descarte];
}
void uso;
