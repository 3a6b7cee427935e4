// With a lib that declares AsyncDisposable, a Ponte is one, and `await using` closes it.
import { Ponte } from '../src/index.js';

export async function consultar(): Promise<string | undefined> {
    await using ponte = new Ponte();
    const descartavel: AsyncDisposable = ponte;
    void descartavel;
    return (await ponte.versao()).versao;
}
