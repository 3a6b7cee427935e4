export { Ponte } from './ponte.js';
export { ErroAcbrPonte, ErroDaPonte, PonteEncerrada, TempoEsgotado } from './erros.js';
