// Compiled with `tsc --noEmit` only: the declarations must accept what the README shows and
// refuse what the runtime refuses.
import {
    ErroAcbrPonte,
    ErroDaPonte,
    type OpcoesDaPonte,
    Ponte,
    PonteEncerrada,
    type Resposta,
    TempoEsgotado,
    type Versao,
} from '../../src/index.js';

const opcoes: OpcoesDaPonte = { executavel: '/opt/app/acbr-ponte', acbrDir: '/opt/app/acbr', tempoLimite: 5000 };
const ponte = new Ponte(opcoes);
new Ponte();
new Ponte({ comandosPorPonte: 0 });
// @ts-expect-error the limit is a number of milliseconds
new Ponte({ tempoLimite: '5s' });

async function uso(): Promise<void> {
    const versao: Versao = await ponte.versao();
    const nome: string = versao.nome ?? '(sem nome)';
    // @ts-expect-error the name may be absent
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
        } else if (e instanceof ErroAcbrPonte) {
            const mensagem: string = e.message;
        }
    }
    const fechado: Promise<void> = ponte.fechar();
    const descarte: Promise<void> = ponte[Symbol.asyncDispose]();
    void [nome, semChecar, ok, erro, pid, fechado, descarte];
}
void uso;
