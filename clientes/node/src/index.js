export { Ponte } from './ponte.js';
export {
    ComandoRecusado,
    ErroAcbrPonte,
    ErroDaPonte,
    LocalInseguro,
    PonteEncerrada,
    PonteFechada,
    PonteNaoIniciada,
    RespostaInvalida,
    TempoEsgotado,
} from './erros.js';
