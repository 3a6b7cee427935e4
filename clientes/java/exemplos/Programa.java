// A program with only the jar on its class path: no bridge named, so the jar's own runs, from its
// copy in the per-user folder. The library folder comes from ACBR_DIR.
//   java -cp acbr-ponte-0.1.0.jar exemplos/Programa.java
import br.com.acbrponte.Ponte;

public class Programa {
    public static void main(String[] argumentos) throws Exception {
        try (Ponte ponte = new Ponte()) {
            System.out.println(ponte.versao());
        }
    }
}
